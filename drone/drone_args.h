// SPDX-License-Identifier: MIT
// The drone's command line and the names of the files it reads and writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wirepace::drone {

inline constexpr const char* kReleaseFile = "GO.txt";
inline constexpr const char* kStopFile = "TERMDRONES.txt";

enum class Direction { Upload, Download };

struct DroneRequest {
    Direction direction = Direction::Upload;
    std::string dir;                  // field 0, used as a plain prefix
    std::optional<std::string> file;  // field 1; absent when the text has no "?"
};

// Reads the argument text (leading blanks already removed). "-TO" is tested before "-FROM",
// both exact and case-sensitive; any other text gives nullopt, and the drone then ends at once.
// The rest is cut at "?": field 0 is the directory, field 1 the file, later fields are ignored.
std::optional<DroneRequest> ParseDroneArguments(std::string_view argText);

struct CopyPaths {
    std::string source;
    std::string target;
};

// Upload copies AppDrive & file to directory & file; download the other way round.
CopyPaths CopyPathsFor(const std::string& appDrive, Direction direction, const std::string& dir,
                       const std::string& file);

// AppDrive & "TXT" & file.
std::string ResultFilePath(const std::string& appDrive, const std::string& file);

// The one line of a result file: the elapsed time rounded to whole milliseconds (halves to the
// even neighbour) in the print form, then CR LF. 1234 ms gives " 1234 \r\n".
std::string ResultLine(double elapsedMs);

}  // namespace wirepace::drone
