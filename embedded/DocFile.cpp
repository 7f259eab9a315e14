// Job documents as JSON text, on disk or in transit: every object, bitmaps embedded as base64 PNG.
#include "embedded/DocFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "host/AtomicFile.h"

namespace kx {
namespace {

using nlohmann::json;

constexpr const char* kFormat = "kestrix-document";
constexpr int kVersion = 1;
// Handles above this are refused: the document hands out the handle after the largest one, and
// that must never wrap to the null handle or to a handle in use.
constexpr uint64 kMaxHandle = 0xffffffffULL;
// An embedded image is decoded only when it holds at most this many pixels (256 MB in colour).
constexpr double kMaxImagePixels = 64.0 * 1024 * 1024;
// An arc turns at most once round (with room for rounding), about angles of ordinary size.
constexpr double kMaxArcSweep = 2 * 3.14159265358979323846 * (1 + 1e-9);
constexpr double kMaxArcAngle = 1000.0;
constexpr const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A problem in the file's content; the message says where.
struct FormatError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string EncodeBase64(const std::vector<uchar>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const unsigned n = static_cast<unsigned>(bytes[i]) << 16 |
                       (i + 1 < bytes.size() ? static_cast<unsigned>(bytes[i + 1]) << 8 : 0u) |
                       (i + 2 < bytes.size() ? static_cast<unsigned>(bytes[i + 2]) : 0u);
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kBase64[n & 63] : '=';
  }
  return out;
}

std::vector<uchar> DecodeBase64(const std::string& text, const std::string& where) {
  std::vector<uchar> out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const char* pos = std::char_traits<char>::find(kBase64, 64, c);
    if (!pos) throw FormatError(where + ": not base64 (character '" + std::string(1, c) + "')");
    buffer = (buffer << 6) | static_cast<unsigned>(pos - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uchar>((buffer >> bits) & 0xff));
    }
  }
  return out;
}

// Reads the PNG header's size and refuses an image too large before anything is decoded.
void CheckPngSize(const std::vector<uchar>& bytes, const std::string& where) {
  static const uchar kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (bytes.size() < 24 || !std::equal(kSignature, kSignature + 8, bytes.begin()) ||
      !std::equal(bytes.begin() + 12, bytes.begin() + 16, "IHDR"))
    throw FormatError(where + ": 'png' does not hold a readable PNG image (no PNG header)");
  auto big = [&](std::size_t at) {
    return static_cast<double>(static_cast<uint64>(bytes[at]) << 24 |
                               static_cast<uint64>(bytes[at + 1]) << 16 |
                               static_cast<uint64>(bytes[at + 2]) << 8 | bytes[at + 3]);
  };
  const double width = big(16), height = big(20);
  if (width * height > kMaxImagePixels)
    throw FormatError(where + ": the image is " + std::to_string(static_cast<uint64>(width)) +
                      " x " + std::to_string(static_cast<uint64>(height)) +
                      " pixels, more than the " +
                      std::to_string(static_cast<uint64>(kMaxImagePixels)) + " allowed");
}

json Point(NewWorldPt p) { return json::array({p.x, p.y}); }

json TmJson(const TM& tm) { return json::array({tm.m11, tm.m12, tm.m21, tm.m22, tm.dx, tm.dy}); }

const json& Field(const json& object, const char* name, const std::string& where) {
  if (!object.is_object() || !object.contains(name))
    throw FormatError(where + ": field '" + name + "' is missing");
  return object.at(name);
}

double Number(const json& object, const char* name, const std::string& where) {
  const json& v = Field(object, name, where);
  if (!v.is_number()) throw FormatError(where + ": field '" + name + "' is not a number");
  return v.get<double>();
}

std::vector<double> Numbers(const json& v, std::size_t count, const std::string& where) {
  if (!v.is_array() || v.size() != count)
    throw FormatError(where + ": expected an array of " + std::to_string(count) + " numbers");
  std::vector<double> out;
  for (const json& e : v) {
    if (!e.is_number()) throw FormatError(where + ": expected numbers only");
    out.push_back(e.get<double>());
  }
  return out;
}

NewWorldPt ReadPoint(const json& object, const char* name, const std::string& where) {
  const auto v = Numbers(Field(object, name, where), 2, where + " '" + name + "'");
  return NewWorldPt{v[0], v[1]};
}

json SegmentJson(const PathSegment& s) {
  if (!s.arc) return json{{"type", "line"}, {"start", Point(s.start)}, {"end", Point(s.end)}};
  // The ends are stored too: recomputing them from the parameters could differ in the last bit
  // from the ends the neighbouring segments share.
  return json{{"type", "arc"},
              {"centre", Point(s.centre)},
              {"u", Point(s.u)},
              {"v", Point(s.v)},
              {"t0", s.t0},
              {"t1", s.t1},
              {"start", Point(s.start)},
              {"end", Point(s.end)}};
}

PathSegment ReadSegment(const json& j, const std::string& where) {
  const json& type = Field(j, "type", where);
  if (type == "line")
    return PathSegment::Line(ReadPoint(j, "start", where), ReadPoint(j, "end", where));
  if (type != "arc") throw FormatError(where + ": unknown segment type " + type.dump());
  PathSegment s;
  s.arc = true;
  s.centre = ReadPoint(j, "centre", where);
  s.u = ReadPoint(j, "u", where);
  s.v = ReadPoint(j, "v", where);
  s.t0 = Number(j, "t0", where);
  s.t1 = Number(j, "t1", where);
  if (std::abs(s.t0) > kMaxArcAngle || std::abs(s.t1) > kMaxArcAngle)
    throw FormatError(where + ": arc angles 't0' and 't1' must lie within -1000..1000 radians");
  if (std::abs(s.t1 - s.t0) > kMaxArcSweep)
    throw FormatError(where + ": the arc sweeps more than one full turn (" +
                      std::to_string(s.t1 - s.t0) + " radians)");
  s.start = j.contains("start") ? ReadPoint(j, "start", where) : s.ArcPoint(s.t0);
  s.end = j.contains("end") ? ReadPoint(j, "end", where) : s.ArcPoint(s.t1);
  return s;
}

json ObjectJson(uint64 h, const DocObject& o) {
  json j{{"handle", h}, {"tm", TmJson(o.tm)}};
  switch (o.kind) {
    case ObjectKind::Path: {
      j["kind"] = "path";
      json segments = json::array();
      for (const PathSegment& s : o.segments) segments.push_back(SegmentJson(s));
      j["segments"] = segments;
      break;
    }
    case ObjectKind::RegMark: {
      j["kind"] = "regmark";
      json corners = json::array();
      for (const NewWorldPt& p : o.corners) corners.push_back(Point(p));
      j["corners"] = corners;
      break;
    }
    case ObjectKind::Bitmap: {
      j["kind"] = "bitmap";
      j["origin"] = Point(o.bitmap->Origin());
      j["width"] = o.bitmap->GetRealWidth();
      j["height"] = o.bitmap->GetRealHeight();
      std::vector<uchar> png;
      if (!o.bitmap->Original().empty() && !cv::imencode(".png", o.bitmap->Original(), png))
        throw FormatError("object " + std::to_string(h) + ": the bitmap cannot be encoded as PNG");
      j["png"] = EncodeBase64(png);
      break;
    }
  }
  return j;
}

DocObject ReadObject(const json& j, const std::string& where) {
  DocObject o;
  const auto tm = Numbers(Field(j, "tm", where), 6, where + " 'tm'");
  o.tm = TM{tm[0], tm[1], tm[2], tm[3], tm[4], tm[5]};
  const json& kind = Field(j, "kind", where);
  if (kind == "path") {
    o.kind = ObjectKind::Path;
    const json& segments = Field(j, "segments", where);
    if (!segments.is_array()) throw FormatError(where + ": 'segments' is not an array");
    for (std::size_t i = 0; i < segments.size(); ++i)
      o.segments.push_back(ReadSegment(segments[i], where + " segment " + std::to_string(i)));
  } else if (kind == "regmark") {
    o.kind = ObjectKind::RegMark;
    const json& corners = Field(j, "corners", where);
    if (!corners.is_array() || corners.size() != 4)
      throw FormatError(where + ": 'corners' must hold four points");
    for (std::size_t i = 0; i < 4; ++i) {
      const auto p = Numbers(corners[i], 2, where + " corner " + std::to_string(i));
      o.corners[i] = NewWorldPt{p[0], p[1]};
    }
  } else if (kind == "bitmap") {
    o.kind = ObjectKind::Bitmap;
    const json& png = Field(j, "png", where);
    if (!png.is_string()) throw FormatError(where + ": 'png' is not a string");
    const std::vector<uchar> bytes = DecodeBase64(png.get<std::string>(), where);
    CheckPngSize(bytes, where);
    cv::Mat pixels;
    try {
      pixels = cv::imdecode(bytes, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
      pixels = cv::Mat();
    }
    o.bitmap = std::make_shared<HostBitmap>();
    if (pixels.empty() || !o.bitmap->SetPixels(pixels))
      throw FormatError(where + ": 'png' does not hold a readable PNG image");
    const double width = Number(j, "width", where);
    const double height = Number(j, "height", where);
    if (!(width > 0.0) || !(height > 0.0))
      throw FormatError(where + ": 'width' and 'height' must be above 0");
    o.bitmap->SetRealWidth(width);
    o.bitmap->SetRealHeight(height);
    o.bitmap->SetOrigin(ReadPoint(j, "origin", where));
  } else {
    throw FormatError(where + ": unknown kind " + kind.dump());
  }
  return o;
}

}  // namespace

bool WriteDocumentText(const Document& document, std::string* text, std::string* error) {
  try {
    json objects = json::array();
    for (uint64 h : document.Objects()) objects.push_back(ObjectJson(h, *document.Find(h)));
    json selection = json::array();
    for (uint64 h : document.SelectedObjects()) selection.push_back(h);
    const json file{
        {"format", kFormat}, {"version", kVersion}, {"objects", objects}, {"selection", selection}};
    *text = file.dump(1) + "\n";
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

bool SaveDocument(const Document& document, const std::filesystem::path& path, std::string* error) {
  std::string text;
  if (!WriteDocumentText(document, &text, error)) {
    if (error) *error = path.string() + ": " + *error;
    return false;
  }
  return WriteFileAtomically(path, text, error);
}

bool LoadDocument(Document& document, const std::filesystem::path& path, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = "document " + path.string() + ": " + what;
    return false;
  };
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec))
    return fail("is not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot be opened");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseDocumentText(document, text, path.string(), error);
}

bool ParseDocumentText(Document& document, const std::string& text, const std::string& name,
                       std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = "document " + name + ": " + what;
    return false;
  };
  try {
    const json file = json::parse(text);
    if (!file.is_object() || file.value("format", "") != kFormat)
      return fail(std::string("not a document (field 'format' is not \"") + kFormat + "\")");
    const json& version = Field(file, "version", "file");
    if (!version.is_number_unsigned() || version.get<uint64>() != static_cast<uint64>(kVersion))
      return fail("unsupported version " + version.dump() + " (this program reads version " +
                  std::to_string(kVersion) + ")");
    const json& objects = Field(file, "objects", "file");
    if (!objects.is_array()) return fail("'objects' is not an array");
    std::vector<std::pair<uint64, DocObject>> loaded;
    std::set<uint64> handles;
    for (std::size_t i = 0; i < objects.size(); ++i) {
      const std::string where = "object " + std::to_string(i);
      const json& handle = Field(objects[i], "handle", where);
      if (!handle.is_number_unsigned() || handle.get<uint64>() == 0)
        throw FormatError(where + ": 'handle' must be a positive integer");
      const uint64 h = handle.get<uint64>();
      if (h > kMaxHandle)
        throw FormatError(where + ": handle " + std::to_string(h) + " is above " +
                          std::to_string(kMaxHandle));
      if (!handles.insert(h).second)
        throw FormatError(where + ": handle " + std::to_string(h) + " is used twice");
      loaded.emplace_back(h, ReadObject(objects[i], where));
    }
    std::vector<uint64> selection;
    if (file.contains("selection")) {
      const json& list = file.at("selection");
      if (!list.is_array()) return fail("'selection' is not an array");
      for (const json& h : list)
        if (h.is_number_unsigned() && handles.count(h.get<uint64>()))
          selection.push_back(h.get<uint64>());
    }
    document.Reset(std::move(loaded), std::move(selection));
    return true;
  } catch (const json::parse_error& e) {
    return fail(std::string("broken JSON (") + e.what() + ")");
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}

}  // namespace kx
