// Every knob of a simulated world and the JSON world file that sets them.
#include "sim/WorldOptions.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

namespace kx {
namespace {

using Field = std::variant<double*, int*, bool*, std::string*, std::uint64_t*, std::optional<int>*>;
struct Entry {
  const char* section;  // "" for the top level
  const char* key;
  Field field;
};

std::vector<Entry> Fields(WorldOptions& o) {
  auto& c = o.camera;
  auto& k = o.cutter;
  auto& s = o.sheet;
  auto& p = o.copies;
  auto& a = o.artwork;
  auto& e = o.calibration;
  return {
      {"", "seed", &o.seed},
      {"camera", "scale", &c.scale},
      {"camera", "offsetX", &c.offsetX},
      {"camera", "offsetY", &c.offsetY},
      {"camera", "frameRate", &c.frameRate},
      {"camera", "noiseSigma", &c.noiseSigma},
      {"camera", "blurSigma", &c.blurSigma},
      {"camera", "vignetting", &c.vignetting},
      {"camera", "lightGradient", &c.lightGradient},
      {"cutter", "bedWidth", &k.bedWidth},
      {"cutter", "bedHeight", &k.bedHeight},
      {"cutter", "travelSpeed", &k.travelSpeed},
      {"cutter", "cutSpeed", &k.cutSpeed},
      {"cutter", "acceleration", &k.acceleration},
      {"cutter", "cutWidth", &k.cutWidth},
      {"sheet", "rotation", &s.rotation},
      {"sheet", "scaleX", &s.scaleX},
      {"sheet", "scaleY", &s.scaleY},
      {"sheet", "shear", &s.shear},
      {"sheet", "offsetX", &s.offsetX},
      {"sheet", "offsetY", &s.offsetY},
      {"sheet", "margin", &s.margin},
      {"copies", "layout", &p.layout},
      {"copies", "rollAxis", &p.rollAxis},
      {"copies", "columns", &p.columns},
      {"copies", "rows", &p.rows},
      {"copies", "width", &p.width},
      {"copies", "height", &p.height},
      {"copies", "pitchX", &p.pitchX},
      {"copies", "pitchY", &p.pitchY},
      {"copies", "jitter", &p.jitter},
      {"copies", "jitterRotation", &p.jitterRotation},
      {"artwork", "shapes", &a.shapes},
      {"artwork", "text", &a.text},
      {"artwork", "rasterResolution", &a.rasterResolution},
      {"artwork", "cutBleed", &a.cutBleed},
      {"calibration", "scaleError", &e.scaleError},
      {"calibration", "offsetErrorX", &e.offsetErrorX},
      {"calibration", "offsetErrorY", &e.offsetErrorY},
      {"setup", "calibrated", &o.setup.calibrated},
      {"setup", "squarePower", &o.setup.squarePower},
      {"setup", "squareSize", &o.setup.squareSize},
      {"setup", "manual", &o.setup.manual},
      {"setup", "moveX", &o.setup.moveX},
      {"setup", "moveY", &o.setup.moveY},
      {"setup", "material", &o.setup.material},
      {"setup", "startX", &o.setup.startX},
      {"setup", "startY", &o.setup.startY},
  };
}

std::string KeyName(const std::string& section, const std::string& key) {
  return section.empty() ? key : section + "." + key;
}

// Stores value into field; returns the expected type's name when the JSON type does not fit.
std::string Assign(const nlohmann::json& value, Field field) {
  return std::visit(
      [&](auto* target) -> std::string {
        using T = std::remove_pointer_t<decltype(target)>;
        if constexpr (std::is_same_v<T, double>) {
          if (!value.is_number()) return "a number";
          *target = value.get<double>();
        } else if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::optional<int>>) {
          if (!value.is_number_integer()) return "an integer";
          const auto v = value.get<std::int64_t>();
          if (v < -2147483647 || v > 2147483647) return "a 32-bit integer";
          *target = static_cast<int>(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          if (!value.is_boolean()) return "true or false";
          *target = value.get<bool>();
        } else if constexpr (std::is_same_v<T, std::string>) {
          if (!value.is_string()) return "a string";
          *target = value.get<std::string>();
        } else {
          if (!value.is_number_unsigned() &&
              !(value.is_number_integer() && value.get<std::int64_t>() >= 0))
            return "a non-negative integer";
          *target = value.get<std::uint64_t>();
        }
        return {};
      },
      field);
}

bool Fail(std::string* error, const std::string& name, const std::string& what) {
  if (error) *error = name + ": " + what;
  return false;
}

}  // namespace

std::string ValidateWorldOptions(const WorldOptions& o) {
  struct Check {
    bool ok;
    const char* key;
    const char* rule;
  };
  const Check checks[] = {
      {o.camera.scale > 0.05 && o.camera.scale < 100, "camera.scale", "between 0.05 and 100"},
      {o.camera.frameRate > 0 && o.camera.frameRate <= 120, "camera.frameRate",
       "above 0 and at most 120"},
      {o.camera.noiseSigma >= 0 && o.camera.noiseSigma <= 100, "camera.noiseSigma",
       "between 0 and 100"},
      {o.camera.blurSigma >= 0 && o.camera.blurSigma <= 10, "camera.blurSigma", "between 0 and 10"},
      {o.camera.vignetting >= 0 && o.camera.vignetting <= 0.9, "camera.vignetting",
       "between 0 and 0.9"},
      {o.camera.lightGradient >= 0 && o.camera.lightGradient <= 0.9, "camera.lightGradient",
       "between 0 and 0.9"},
      {o.cutter.bedWidth >= 1000 && o.cutter.bedWidth <= 10000000, "cutter.bedWidth",
       "between 1000 and 10000000"},
      {o.cutter.bedHeight >= 1000 && o.cutter.bedHeight <= 10000000, "cutter.bedHeight",
       "between 1000 and 10000000"},
      {o.cutter.travelSpeed > 0, "cutter.travelSpeed", "above 0"},
      {o.cutter.cutSpeed > 0, "cutter.cutSpeed", "above 0"},
      {o.cutter.acceleration >= 0, "cutter.acceleration", "0 or above"},
      {o.cutter.cutWidth >= 0, "cutter.cutWidth", "0 or above"},
      {o.sheet.scaleX > 0.5 && o.sheet.scaleX < 2, "sheet.scaleX", "between 0.5 and 2"},
      {o.sheet.scaleY > 0.5 && o.sheet.scaleY < 2, "sheet.scaleY", "between 0.5 and 2"},
      {o.sheet.shear > -0.5 && o.sheet.shear < 0.5, "sheet.shear", "between -0.5 and 0.5"},
      {o.sheet.margin >= 0, "sheet.margin", "0 or above"},
      {o.copies.layout == "sheet" || o.copies.layout == "roll", "copies.layout",
       "\"sheet\" or \"roll\""},
      {o.copies.rollAxis == "x" || o.copies.rollAxis == "y", "copies.rollAxis", "\"x\" or \"y\""},
      {o.copies.columns >= 1 && o.copies.columns <= 1000, "copies.columns", "between 1 and 1000"},
      {o.copies.rows >= 1 && o.copies.rows <= 1000, "copies.rows", "between 1 and 1000"},
      {o.copies.width >= 2000 && o.copies.width <= 200000, "copies.width",
       "between 2000 and 200000"},
      {o.copies.height >= 2000 && o.copies.height <= 200000, "copies.height",
       "between 2000 and 200000"},
      {o.copies.pitchX >= o.copies.width, "copies.pitchX", "at least copies.width"},
      {o.copies.pitchY >= o.copies.height, "copies.pitchY", "at least copies.height"},
      {o.copies.jitter >= 0, "copies.jitter", "0 or above"},
      {o.copies.jitterRotation >= 0 && o.copies.jitterRotation <= 10, "copies.jitterRotation",
       "between 0 and 10"},
      {o.artwork.shapes >= 0 && o.artwork.shapes <= 200, "artwork.shapes", "between 0 and 200"},
      {o.artwork.rasterResolution >= 0.1 && o.artwork.rasterResolution <= 10,
       "artwork.rasterResolution", "between 0.1 and 10"},
      {o.artwork.cutBleed >= 0 && o.artwork.cutBleed <= 500, "artwork.cutBleed",
       "between 0 and 500"},
      {o.calibration.scaleError > -0.5 && o.calibration.scaleError < 0.5, "calibration.scaleError",
       "between -0.5 and 0.5"},
      {o.setup.squarePower >= 0 && o.setup.squarePower <= 1000, "setup.squarePower",
       "between 0 and 1000"},
      {!o.setup.squareSize || (*o.setup.squareSize >= 10 && *o.setup.squareSize <= 20000),
       "setup.squareSize", "between 10 and 20000"},
      {!o.setup.moveX || std::abs(*o.setup.moveX) <= 100000, "setup.moveX",
       "between -100000 and 100000"},
      {!o.setup.moveY || std::abs(*o.setup.moveY) <= 100000, "setup.moveY",
       "between -100000 and 100000"},
      {!o.setup.startX || (*o.setup.startX >= 0 && *o.setup.startX <= o.cutter.bedWidth),
       "setup.startX", "on the bed (0 to cutter.bedWidth)"},
      {!o.setup.startY || (*o.setup.startY >= 0 && *o.setup.startY <= o.cutter.bedHeight),
       "setup.startY", "on the bed (0 to cutter.bedHeight)"},
  };
  for (const Check& c : checks) {
    if (!c.ok) return std::string("key \"") + c.key + "\" must be " + c.rule;
  }
  return {};
}

bool ParseWorldJson(const std::string& text, const std::string& name, WorldOptions* opts,
                    std::string* error) {
  nlohmann::json root;
  try {
    root = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    return Fail(error, name, std::string("not valid JSON: ") + e.what());
  }
  if (!root.is_object()) return Fail(error, name, "the world must be a JSON object");

  WorldOptions result = opts ? *opts : WorldOptions{};
  const std::vector<Entry> fields = Fields(result);
  auto find = [&](const std::string& section, const std::string& key) -> const Entry* {
    for (const Entry& e : fields) {
      if (section == e.section && key == e.key) return &e;
    }
    return nullptr;
  };
  auto isSection = [&](const std::string& key) {
    for (const Entry& e : fields) {
      if (key == e.section) return true;
    }
    return false;
  };

  for (const auto& [key, value] : root.items()) {
    if (isSection(key)) {
      if (!value.is_object()) return Fail(error, name, "key \"" + key + "\" must be an object");
      for (const auto& [inner, innerValue] : value.items()) {
        const Entry* e = find(key, inner);
        if (!e) return Fail(error, name, "unknown key \"" + KeyName(key, inner) + "\"");
        const std::string want = Assign(innerValue, e->field);
        if (!want.empty())
          return Fail(error, name, "key \"" + KeyName(key, inner) + "\" must be " + want);
      }
      continue;
    }
    const Entry* e = find("", key);
    if (!e) return Fail(error, name, "unknown key \"" + key + "\"");
    const std::string want = Assign(value, e->field);
    if (!want.empty()) return Fail(error, name, "key \"" + key + "\" must be " + want);
  }
  const std::string invalid = ValidateWorldOptions(result);
  if (!invalid.empty()) return Fail(error, name, invalid);
  if (opts) *opts = result;
  return true;
}

bool LoadWorldFile(const std::string& path, WorldOptions* opts, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, path, "cannot open the world file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return Fail(error, path, "cannot read the world file");
  return ParseWorldJson(text.str(), path, opts, error);
}

}  // namespace kx
