// The main job's input: a world, the run a user makes on it and what the run must achieve.
#include "app/JobFile.h"

#include <initializer_list>

#include <nlohmann/json.hpp>

#include "sim/JsonFile.h"

namespace kx {
namespace {

using nlohmann::json;

// The sections this file adds to a world file; everything else is the world's.
constexpr const char* kRun = "run";
constexpr const char* kOperator = "operator";
constexpr const char* kExpect = "expect";

// The first error found while reading, already phrased for the user ("key \"run.x\" must be ...").
class Reader {
 public:
  bool Failed() const { return !m_error.empty(); }
  const std::string& Error() const { return m_error; }
  void Fail(const std::string& key, const std::string& what) {
    if (m_error.empty()) m_error = "key \"" + key + "\" must be " + what;
  }

  // A section must be an object holding only the listed keys.
  bool Section(const json& value, const std::string& key,
               std::initializer_list<const char*> allowed) {
    if (!value.is_object()) {
      Fail(key, "an object");
      return false;
    }
    for (const auto& item : value.items()) {
      bool known = false;
      for (const char* name : allowed) known = known || item.key() == name;
      if (!known && m_error.empty())
        m_error = "unknown key \"" + key + "." + PrintableText(item.key()) + "\"";
    }
    return !Failed();
  }

  void Int(const json& obj, const std::string& section, const char* key, int* target, int lo,
           int hi) {
    if (Failed() || !obj.contains(key)) return;
    const json& v = obj[key];
    const std::string name = section + "." + key;
    if (!v.is_number_integer()) return Fail(name, "an integer");
    const auto n = v.get<std::int64_t>();
    if (n < lo || n > hi)
      return Fail(name, "between " + std::to_string(lo) + " and " + std::to_string(hi));
    *target = static_cast<int>(n);
  }

  // A number above lo (or at least lo when lo is allowed) and at most hi.
  void Number(const json& obj, const std::string& section, const char* key, double* target,
              double lo, bool loAllowed, double hi, const char* rule) {
    if (Failed() || !obj.contains(key)) return;
    const json& v = obj[key];
    const std::string name = section + "." + key;
    if (!v.is_number()) return Fail(name, "a number");
    const double d = v.get<double>();
    if (d < lo || (d == lo && !loAllowed) || d > hi) return Fail(name, rule);
    *target = d;
  }

  void Bool(const json& obj, const std::string& section, const char* key, bool* target) {
    if (Failed() || !obj.contains(key)) return;
    if (!obj[key].is_boolean()) return Fail(section + "." + key, "true or false");
    *target = obj[key].get<bool>();
  }

  // One of two words; *target becomes true for the first.
  void Choice(const json& obj, const std::string& section, const char* key, const char* first,
              const char* second, bool* target) {
    if (Failed() || !obj.contains(key)) return;
    const json& v = obj[key];
    const std::string quoted = std::string("\"") + first + "\" or \"" + second + "\"";
    if (!v.is_string()) return Fail(section + "." + key, quoted);
    const std::string s = v.get<std::string>();
    if (s != first && s != second) return Fail(section + "." + key, quoted);
    *target = s == first;
  }

 private:
  std::string m_error;
};

int CopyCount(const WorldOptions& world) { return world.copies.columns * world.copies.rows; }

void ReadRun(const json& run, const WorldOptions& world, RunPlan* plan, Reader& r) {
  if (!r.Section(run, kRun,
                 {"material", "rollDir", "maxError", "precision", "copiesX", "copiesY", "stepX",
                  "stepY", "firstCopy"}))
    return;
  bool roll = plan->roll;
  r.Choice(run, kRun, "material", "roll", "sheet", &roll);
  plan->roll = roll;
  r.Int(run, kRun, "rollDir", &plan->rollDir, 0, 9);
  r.Int(run, kRun, "maxError", &plan->maxError, 0, 10000);
  r.Int(run, kRun, "precision", &plan->precision, 0, 63);
  r.Int(run, kRun, "copiesX", &plan->copiesX, 1, 1000);
  r.Int(run, kRun, "copiesY", &plan->copiesY, 1, 1000);
  r.Number(run, kRun, "stepX", &plan->stepX, 0, false, 10000, "above 0 and at most 10000");
  r.Number(run, kRun, "stepY", &plan->stepY, 0, false, 10000, "above 0 and at most 10000");
  r.Int(run, kRun, "firstCopy", &plan->firstCopy, 0, CopyCount(world) - 1);
}

void ReadOperator(const json& op, const WorldOptions& world, RunPlan* plan, Reader& r) {
  if (!r.Section(op, kOperator, {"failures"}) || !op.contains("failures")) return;
  const json& list = op["failures"];
  if (!list.is_array()) return r.Fail("operator.failures", "a list");
  std::vector<FailureAnswer> failures;
  for (std::size_t i = 0; i < list.size() && !r.Failed(); ++i) {
    const std::string name = "operator.failures[" + std::to_string(i) + "]";
    if (!r.Section(list[i], name, {"answer", "placeCopy"})) return;
    FailureAnswer answer;
    bool ok = false;
    r.Choice(list[i], name, "answer", "ok", "cancel", &ok);
    answer.answer = ok ? IDOK : IDCANCEL;
    r.Int(list[i], name, "placeCopy", &answer.placeCopy, 0, CopyCount(world) - 1);
    failures.push_back(answer);
  }
  plan->failures = std::move(failures);
}

void ReadExpect(const json& expect, Expectations* e, Reader& r) {
  if (!r.Section(expect, kExpect, {"copies", "maxErrorMm", "headAtOrigin"})) return;
  r.Int(expect, kExpect, "copies", &e->copies, 0, 1000000);
  r.Number(expect, kExpect, "maxErrorMm", &e->maxErrorMm, 0, false, 1000,
           "above 0 and at most 1000");
  r.Bool(expect, kExpect, "headAtOrigin", &e->headAtOrigin);
}

// Copies a plan visits on world: a roll's unlimited count runs to the end of the printed copies.
int PlannedCopies(const RunPlan& plan, const WorldOptions& world) {
  int nx = plan.copiesX;
  int ny = plan.copiesY;
  if (plan.roll) {
    if (plan.rollDir == 1)
      nx = world.copies.columns;
    else
      ny = world.copies.rows;
  }
  return nx * ny;
}

}  // namespace

MainJobSetup DefaultJob(const WorldOptions& world) {
  MainJobSetup setup;
  setup.world = world;
  // Every copy of the world at its own pitch (the dialog takes steps in thousands of units).
  setup.plan = RunPlan{.roll = world.copies.layout == "roll",
                       .rollDir = world.copies.rollAxis == "x" ? 1 : 0,
                       .copiesX = world.copies.columns,
                       .copiesY = world.copies.rows,
                       .stepX = world.copies.pitchX / 1000.0,
                       .stepY = world.copies.pitchY / 1000.0};
  // A roll ends when the next copy cannot be found; the user then cancels.
  if (setup.plan.roll) setup.plan.failures.push_back(FailureAnswer{.answer = IDCANCEL});
  setup.expect.copies = PlannedCopies(setup.plan, world);
  return setup;
}

MainJobSetup DemoJob() {
  WorldOptions world;
  world.copies.columns = 2;
  world.copies.rows = 3;
  return DefaultJob(world);
}

bool ParseJobJson(const std::string& text, const std::string& name, MainJobSetup* setup,
                  std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = name + ": " + what;
    return false;
  };
  json root;
  if (!ParseJsonObject(text, name, &root, error)) return false;

  json sections = json::object();
  for (const char* key : {kRun, kOperator, kExpect}) {
    if (root.contains(key)) {
      sections[key] = root[key];
      root.erase(key);
    }
  }
  WorldOptions world;
  if (!ParseWorldJson(root.dump(), name, &world, error)) return false;

  MainJobSetup result = DefaultJob(world);
  const bool expectCopiesGiven = sections.contains(kExpect) && sections[kExpect].is_object() &&
                                 sections[kExpect].contains("copies");
  Reader r;
  if (sections.contains(kRun)) ReadRun(sections[kRun], world, &result.plan, r);
  if (sections.contains(kOperator)) ReadOperator(sections[kOperator], world, &result.plan, r);
  if (!expectCopiesGiven) result.expect.copies = PlannedCopies(result.plan, world);
  if (sections.contains(kExpect)) ReadExpect(sections[kExpect], &result.expect, r);
  if (r.Failed()) return fail(r.Error());
  if (setup) *setup = std::move(result);
  return true;
}

bool LoadJobFile(const std::string& path, MainJobSetup* setup, std::string* error) {
  std::string text;
  if (!ReadJsonFileText(path, &text, error)) return false;
  return ParseJobJson(text, path, setup, error);
}

bool ReadJob(const std::string& worldFile, const MainJobSetup& fallback,
             const std::string& fallbackName, MainJobSetup* setup, std::string* name,
             std::ostream& err) {
  if (worldFile.empty()) {
    *setup = fallback;
    *name = fallbackName;
    return true;
  }
  std::string error;
  MainJobSetup read = fallback;
  if (!LoadJobFile(worldFile, &read, &error)) {
    err << "kestrix: " << error << "\n";
    return false;
  }
  *setup = std::move(read);
  *name = worldFile;
  return true;
}

}  // namespace kx
