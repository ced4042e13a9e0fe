// SPDX-License-Identifier: MIT
#include "drone/drone_args.h"

#include "common/number_format.h"

namespace wirepace::drone {

std::optional<DroneRequest> ParseDroneArguments(std::string_view argText) {
    DroneRequest request;
    std::string_view rest;
    if (argText.substr(0, 3) == "-TO") {
        request.direction = Direction::Upload;
        rest = argText.substr(3);
    } else if (argText.substr(0, 5) == "-FROM") {
        request.direction = Direction::Download;
        rest = argText.substr(5);
    } else {
        return std::nullopt;
    }
    const auto first = rest.find('?');
    if (first == std::string_view::npos) {
        request.dir = std::string(rest);
        return request;
    }
    request.dir = std::string(rest.substr(0, first));
    const auto fileStart = first + 1;
    const auto second = rest.find('?', fileStart);
    request.file = std::string(rest.substr(
        fileStart, second == std::string_view::npos ? std::string_view::npos : second - fileStart));
    return request;
}

CopyPaths CopyPathsFor(const std::string& appDrive, Direction direction, const std::string& dir,
                       const std::string& file) {
    if (direction == Direction::Upload) return {appDrive + file, dir + file};
    return {dir + file, appDrive + file};
}

std::string ResultFilePath(const std::string& appDrive, const std::string& file) {
    return appDrive + "TXT" + file;
}

std::string ResultLine(double elapsedMs) {
    return PrintForm(RoundHalfEven(elapsedMs)) + "\r\n";
}

}  // namespace wirepace::drone
