// What every main job writes: its folders checked before it runs, its files and pictures whole.
// Threads: reentrant.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include <opencv2/core.hpp>

namespace kx {

// A folder the job can write into: made when missing, and a file written and removed in it.
// False, said on err with the folder's name, when it cannot be made or written into.
bool UsableFolder(const std::filesystem::path& folder, std::ostream& err);

// The output folder and the settings folder config made and checked before a job runs: false,
// said on err, when outDir has no name or either cannot be written into.
bool PrepareOutput(const std::filesystem::path& outDir, const std::filesystem::path& config,
                   std::ostream& err);

// Writes text whole through a temporary file and a rename; false, said on err, when it cannot.
bool WriteText(const std::filesystem::path& path, const std::string& text, std::ostream& err);

// Renders a picture and writes it as PNG whole. The picture is made and encoded in memory first,
// inside the error handling, so a picture that cannot be made (no memory, a library error, nothing
// to draw) leaves no file; false, said on err with the file's name.
bool WritePng(const std::filesystem::path& path, const std::function<cv::Mat()>& render,
              std::ostream& err);

}  // namespace kx
