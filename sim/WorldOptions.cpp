// Every knob of a simulated world and the JSON world file that sets them.
#include "sim/WorldOptions.h"

#include <cstdlib>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/JsonFile.h"

namespace kx {
namespace {

using Field = std::variant<double*, int*, bool*, std::string*, std::uint64_t*, std::optional<int>*,
                           std::optional<double>*>;
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
      {"camera", "previewWhileMoving", &c.previewWhileMoving},
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
      {"artwork", "textAsPrinted", &a.textAsPrinted},
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
      {"faults", "fromSeconds", &o.faults.fromSeconds},
      {"faults", "noMotion", &o.faults.noMotion},
      {"faults", "positionNoise", &o.faults.positionNoise},
      {"faults", "stallX", &o.faults.stallX},
      {"faults", "stallY", &o.faults.stallY},
      {"faults", "stallRadius", &o.faults.stallRadius},
      {"faults", "cameraStopsAt", &o.faults.cameraStopsAt},
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
        if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>) {
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
  const auto& cam = o.camera;
  const auto& cut = o.cutter;
  const auto& sh = o.sheet;
  const auto& cp = o.copies;
  const auto within = [](double v, double lo, double hi) { return v >= lo && v <= hi; };
  // Sizes that follow from several keys, checked before anything of that size is made: the
  // reference bitmap (one copy at the camera's scale), the pre-rendered artwork, the bed picture
  // of the report (20 units a pixel) and the sheet's extent.
  const double referencePixels = (cp.width / cam.scale) * (cp.height / cam.scale);
  const double artworkPixels =
      (cp.width / o.artwork.rasterResolution) * (cp.height / o.artwork.rasterResolution);
  const double bedPixels = (cut.bedWidth / 20.0) * (cut.bedHeight / 20.0);
  const double sheetWidth = 2 * sh.margin + (cp.columns - 1) * cp.pitchX + cp.width;
  const double sheetHeight = 2 * sh.margin + (cp.rows - 1) * cp.pitchY + cp.height;
  const Check checks[] = {
      {cam.scale > 0.05 && cam.scale < 100, "camera.scale", "between 0.05 and 100"},
      {within(cam.offsetX, -100000, 100000), "camera.offsetX", "between -100000 and 100000"},
      {within(cam.offsetY, -100000, 100000), "camera.offsetY", "between -100000 and 100000"},
      {within(cam.frameRate, 0.1, 120), "camera.frameRate", "between 0.1 and 120"},
      {within(cam.noiseSigma, 0, 100), "camera.noiseSigma", "between 0 and 100"},
      {within(cam.blurSigma, 0, 10), "camera.blurSigma", "between 0 and 10"},
      {within(cam.vignetting, 0, 0.9), "camera.vignetting", "between 0 and 0.9"},
      {within(cam.lightGradient, 0, 0.9), "camera.lightGradient", "between 0 and 0.9"},
      {cut.bedWidth >= 1000 && cut.bedWidth <= 2000000, "cutter.bedWidth",
       "between 1000 and 2000000"},
      {cut.bedHeight >= 1000 && cut.bedHeight <= 2000000, "cutter.bedHeight",
       "between 1000 and 2000000"},
      {bedPixels <= 5e7, "cutter.bedHeight",
       "such that cutter.bedWidth x cutter.bedHeight is at most 20000000000 (the bed picture)"},
      {within(cut.travelSpeed, 1, 10000000), "cutter.travelSpeed", "between 1 and 10000000"},
      {within(cut.cutSpeed, 1, 10000000), "cutter.cutSpeed", "between 1 and 10000000"},
      {within(cut.acceleration, 0, 1000000000), "cutter.acceleration", "between 0 and 1000000000"},
      {within(cut.cutWidth, 0, 1000), "cutter.cutWidth", "between 0 and 1000"},
      {within(sh.rotation, -360, 360), "sheet.rotation", "between -360 and 360"},
      {sh.scaleX > 0.5 && sh.scaleX < 2, "sheet.scaleX", "between 0.5 and 2"},
      {sh.scaleY > 0.5 && sh.scaleY < 2, "sheet.scaleY", "between 0.5 and 2"},
      {sh.shear > -0.5 && sh.shear < 0.5, "sheet.shear", "between -0.5 and 0.5"},
      {within(sh.offsetX, -10000000, 10000000), "sheet.offsetX", "between -10000000 and 10000000"},
      {within(sh.offsetY, -10000000, 10000000), "sheet.offsetY", "between -10000000 and 10000000"},
      {within(sh.margin, 0, 100000), "sheet.margin", "between 0 and 100000"},
      {cp.layout == "sheet" || cp.layout == "roll", "copies.layout", "\"sheet\" or \"roll\""},
      {cp.rollAxis == "x" || cp.rollAxis == "y", "copies.rollAxis", "\"x\" or \"y\""},
      {cp.columns >= 1 && cp.columns <= 1000, "copies.columns", "between 1 and 1000"},
      {cp.rows >= 1 && cp.rows <= 1000, "copies.rows", "between 1 and 1000"},
      {within(cp.width, 2000, 100000), "copies.width", "between 2000 and 100000"},
      {within(cp.height, 2000, 100000), "copies.height", "between 2000 and 100000"},
      {referencePixels <= 1e8, "camera.scale",
       "such that (copies.width / camera.scale) x (copies.height / camera.scale) is at most "
       "100000000 (the reference image's pixels)"},
      {cp.pitchX >= cp.width, "copies.pitchX", "at least copies.width"},
      {cp.pitchY >= cp.height, "copies.pitchY", "at least copies.height"},
      {cp.pitchX <= 10000000, "copies.pitchX", "at most 10000000"},
      {cp.pitchY <= 10000000, "copies.pitchY", "at most 10000000"},
      {sheetWidth <= 100000000, "copies.pitchX",
       "such that the sheet (margins, columns at the pitch) is at most 100000000 wide"},
      {sheetHeight <= 100000000, "copies.pitchY",
       "such that the sheet (margins, rows at the pitch) is at most 100000000 high"},
      {within(cp.jitter, 0, 1000), "copies.jitter", "between 0 and 1000"},
      {within(cp.jitterRotation, 0, 10), "copies.jitterRotation", "between 0 and 10"},
      {o.artwork.shapes >= 0 && o.artwork.shapes <= 200, "artwork.shapes", "between 0 and 200"},
      {within(o.artwork.rasterResolution, 0.1, 10), "artwork.rasterResolution",
       "between 0.1 and 10"},
      {artworkPixels <= 4e8, "artwork.rasterResolution",
       "such that (copies.width / artwork.rasterResolution) x (copies.height / "
       "artwork.rasterResolution) is at most 400000000"},
      // Each frame is warped from the artwork it covers, at the artwork's resolution.
      {cam.scale / o.artwork.rasterResolution <= 10, "artwork.rasterResolution",
       "at least camera.scale / 10 (the artwork a frame shows)"},
      {within(o.artwork.cutBleed, 0, 500), "artwork.cutBleed", "between 0 and 500"},
      {o.calibration.scaleError > -0.5 && o.calibration.scaleError < 0.5, "calibration.scaleError",
       "between -0.5 and 0.5"},
      {within(o.calibration.offsetErrorX, -100000, 100000), "calibration.offsetErrorX",
       "between -100000 and 100000"},
      {within(o.calibration.offsetErrorY, -100000, 100000), "calibration.offsetErrorY",
       "between -100000 and 100000"},
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
      {within(o.faults.fromSeconds, 0, 1e6), "faults.fromSeconds", "between 0 and 1000000"},
      {o.faults.positionNoise >= 0 && o.faults.positionNoise <= 100000, "faults.positionNoise",
       "between 0 and 100000"},
      {o.faults.stallX.has_value() == o.faults.stallY.has_value(), "faults.stallX",
       "given together with faults.stallY"},
      {!o.faults.stallX || within(*o.faults.stallX, 0, o.cutter.bedWidth), "faults.stallX",
       "on the bed (0 to cutter.bedWidth)"},
      {!o.faults.stallY || within(*o.faults.stallY, 0, o.cutter.bedHeight), "faults.stallY",
       "on the bed (0 to cutter.bedHeight)"},
      {within(o.faults.stallRadius, 0, 100000), "faults.stallRadius", "between 0 and 100000"},
      {!o.faults.cameraStopsAt || within(*o.faults.cameraStopsAt, 0, 1e6), "faults.cameraStopsAt",
       "between 0 and 1000000"},
  };
  for (const Check& c : checks) {
    if (!c.ok) return std::string("key \"") + c.key + "\" must be " + c.rule;
  }
  return {};
}

bool ParseWorldJson(const std::string& text, const std::string& name, WorldOptions* opts,
                    std::string* error) {
  nlohmann::json root;
  if (!ParseJsonObject(text, name, &root, error)) return false;

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
        if (!e)
          return Fail(error, name, "unknown key \"" + KeyName(key, PrintableText(inner)) + "\"");
        const std::string want = Assign(innerValue, e->field);
        if (!want.empty())
          return Fail(error, name, "key \"" + KeyName(key, inner) + "\" must be " + want);
      }
      continue;
    }
    const Entry* e = find("", key);
    if (!e) return Fail(error, name, "unknown key \"" + PrintableText(key) + "\"");
    const std::string want = Assign(value, e->field);
    if (!want.empty()) return Fail(error, name, "key \"" + key + "\" must be " + want);
  }
  const std::string invalid = ValidateWorldOptions(result);
  if (!invalid.empty()) return Fail(error, name, invalid);
  if (opts) *opts = result;
  return true;
}

bool LoadWorldFile(const std::string& path, WorldOptions* opts, std::string* error) {
  std::string text;
  if (!ReadJsonFileText(path, &text, error)) return false;
  return ParseWorldJson(text, path, opts, error);
}

}  // namespace kx
