#pragma once
// The results of an analysis as a DICOM Comprehensive Structured Report: every global result of
// both ventricles as a coded measurement with its UCUM unit, the method, the software version,
// the warnings, and a reference to the analysed image; it joins the acquisition's study.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "node/image_header.h"

namespace quorvel::node {

struct SrContent {
  ImageHeader image;                      // the analysed image
  std::map<std::string, double> results;  // by the results' own names: G_FES, D_volmax, CARD_FREQ, ...
  std::string method;
  std::vector<std::string> warnings;
};

// A coded result: the results' name, its concept (LOINC where one exists, else our own scheme)
// and its UCUM unit.
struct ResultCode {
  const char* name;
  const char* code;
  const char* scheme;
  const char* meaning;
  const char* unit;
  const char* unitMeaning;
};
inline constexpr char kLocalCodingScheme[] = "99QRVL";
const std::vector<ResultCode>& resultCodes();

// Writes the report; the reason when it cannot be written, else empty.
std::string writeResultsSr(const SrContent& content, const std::filesystem::path& file);

}  // namespace quorvel::node
