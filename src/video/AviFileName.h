#pragma once
// File names of recordings and snapshots made from a device-reported name.
// No Qt here: the fuzz targets build it alone.
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace video {

struct AviFileName {
    // A device-reported name made safe as one file name: no path separators
    // and no control characters (C0, DEL, and C1 in UTF-8).
    static std::string SafeFileName(std::string_view name);
    // Folder, "/", name, "_", stamp (2017-03-03 14-05-09) and ".AVI"; backslash
    // separators in the folder become "/". The name is shortened as FitName does.
    static std::string BuildFileName(const std::string& directory, const std::string& guardName,
                                     const std::tm& localTime);
    // name with "_2", "_3", ... before its extension.
    static std::string WithSuffix(const std::string& name, int n);

    // A file name (one path component) holds at most this many bytes on Linux file systems.
    static constexpr size_t MaxFileNameBytes = 255;
    // Room kept for the no-overwrite suffix, "_2" up to "_1000".
    static constexpr size_t SuffixRoom = 5;
    // name cut to the bytes left once tailBytes (stamp and extension) and the
    // suffix room are taken from MaxFileNameBytes, at a UTF-8 character boundary.
    static std::string FitName(std::string name, size_t tailBytes);
};

} // namespace video
