#pragma once
// File writers of the phantom: multi-frame NM DICOM (three transfer syntaxes), Interfile (one
// header and one raw file per instant), IDB, and the ground-truth JSON beside each acquisition.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "phantom/phantom.h"
#include "study/dicom_writer.h"
#include "study/idb_reader.h"
#include "study/study_record.h"

namespace quorvel::phantom {

// Output kinds; names as the command line spells them.
enum class OutputFormat { DicomImplicit, DicomExplicit, DicomBig, Interfile, Idb };
const char* formatName(OutputFormat f);  // "dicom-il", "dicom-el", "dicom-eb", "interfile", "idb"
bool parseFormat(const std::string& name, OutputFormat& f);
// Empty when the phantom's size suits the format (Interfile and IDB hold 64 x 64 slices, IDB at
// most 64 slices, Interfile at most 99), else the reason.
std::string formatLimits(const PhantomParams& p, OutputFormat f);

// Slice of the working pose stored as file slice k of an instant: DICOM of a head-first patient
// stores the slices reversed (the loader reverses them back); every other case keeps the order.
int fileSliceToWorking(const PhantomParams& p, OutputFormat f, int k);

// Encoders; they throw std::invalid_argument when formatLimits() refuses.
std::vector<uint8_t> encodeDicom(const Phantom& ph, TransferSyntax syntax);
// The multi-frame NM data set encodeDicom writes, for writers that add to it.
DicomDataSet nmDataSet(const Phantom& ph, TransferSyntax syntax);
std::string encodeInterfileHeader(const Phantom& ph, const std::string& dataFileName);
std::vector<uint8_t> encodeInterfileInstant(const Phantom& ph, int instant);  // uint16 little endian
std::vector<uint8_t> encodeIdb(const Phantom& ph);

// Every parameter, the pose and how to undo it, and per ventricle the analytic volumes and
// functional parameters in the units the system reports.
nlohmann::json groundTruth(const Phantom& ph);

// Writes base + suffix files into dir for each format, each with "<file>.truth.json" beside it.
// Returns the acquisition paths written (for Interfile the first instant's file). Throws
// std::runtime_error when a file cannot be written, std::invalid_argument on a refused format.
std::vector<std::filesystem::path> writeAcquisitions(const Phantom& ph, const std::filesystem::path& dir,
                                                     const std::string& base, const std::vector<OutputFormat>& formats);

}  // namespace quorvel::phantom
