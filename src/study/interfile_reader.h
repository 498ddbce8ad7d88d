#pragma once
// Interfile studies: a text header ("key := value" lines) and raw 16-bit data, either one file
// holding the whole cycle or one file per instant named ...01.img, ...02.img, ... The reader fills
// DATA itself; images are 64 x 64.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/file_source.h"
#include "base/options.h"
#include "base/refusal.h"
#include "study/study_record.h"

namespace quorvel {

// Header keys in lower case without their "!" mark, each with the value of its last line.
using InterfileKeys = std::map<std::string, std::string, std::less<>>;
InterfileKeys parseInterfileHeader(std::string_view text);

// Reads the header found from path (the header itself, or a data file beside it) and the data
// files into s, DATA included. Refused, with s unchanged, when the header cannot be found, lacks
// the patient, date, pixel size or slice count, describes data other than 64 x 64 16-bit images,
// or when a data file is missing or shorter than its images (the refusal names it).
Status LOAD_IMG_DATA(const FileSource& files, const std::filesystem::path& path, Study& s, const Options& opt);
inline Status LOAD_IMG_DATA(const std::filesystem::path& path, Study& s, const Options& opt) {
  return LOAD_IMG_DATA(diskFiles(), path, s, opt);
}

// path up to and including its last "." (the path and a "." when it has none).
std::string EXTRACT_INTERFILE_ROOT(const std::string& path);
// Patient name of a header value: "^" turned into a space, at most 99 characters.
std::string EXTRACT_INTERFILE_PATNAME(std::string_view value);
// A slice count: the whole integer of the value, spaces around allowed; nullopt otherwise.
std::optional<int> GET_INTERFILE_SLICENUMBER(std::string_view value);
// base + instant on two digits + extension.
std::string BUILD_INTERFILE_EXT(const std::string& base, int instant, const std::string& extension);
// Whether the file's stem ends in two digits: one instant of a series written one file per instant
// (name01, name02, ...).
bool isNumberedInstant(const std::filesystem::path& file);

}  // namespace quorvel
