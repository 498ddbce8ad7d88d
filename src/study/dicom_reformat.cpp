#include "study/dicom_reformat.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "base/byte_reader.h"
#include "study/dicom_dictionary.h"
#include "study/dicom_elements.h"
#include "study/dicom_reader.h"
#include "study/study_texts.h"

namespace quorvel {

namespace {

constexpr float kVariant2Scale = 0.25f;
constexpr int kVariant2LowSlices = 5, kVariant2HighSlices = 4;

constexpr uint32_t kNumberOfFrames = dicomTag(0x0028, 0x0008);
constexpr uint32_t kPixelRepresentation = dicomTag(0x0028, 0x0103);
constexpr uint32_t kTimeSlots = dicomTag(0x0054, 0x0071);
constexpr uint32_t kSlices = dicomTag(0x0054, 0x0081);
constexpr uint32_t kPixelData = dicomTag(0x7FE0, 0x0010);

// A slice file as the walk left it.
struct SliceFile {
  StudyRecord rec;
  DicomWalkNotes notes;
  bool usable = false;
};
SliceFile walkSliceFile(const std::vector<uint8_t>& bytes, const Options& opt, TraceLog& log) {
  SliceFile f;
  if (bytes.size() < kDicomFirstElement ||
      std::string_view(reinterpret_cast<const char*>(&bytes[kDicomPreamble]), 4) != "DICM")
    return f;
  Options o = opt;
  f.rec.Ninst = o.DEFAULT_ninst;
  const DicomRefusal why = GET_DICOM_INFO(bytes, bytes.size(), f.rec, o, f.notes, log);
  // A slice file's frame counts describe one slice; only its image and its syntax must be sound.
  const bool walked = why == DicomRefusal::None || why == DicomRefusal::BadFrameCount ||
                      why == DicomRefusal::BadVoxelSize;
  const uint64_t pixelBytes = uint64_t(std::max(f.rec.OrImSize_H, 0)) * uint64_t(std::max(f.rec.OrImSize_V, 0)) * 2;
  // The image must lie inside its Pixel Data element, not merely inside the file; a multi-frame
  // file (a reformat written earlier) is no slice.
  f.usable = walked && f.rec.OrImSize_H > 0 && f.rec.OrImSize_V > 0 && f.rec.OFFSET_LEC > 0 &&
             uint64_t(f.rec.OFFSET_LEC) <= bytes.size() && pixelBytes <= bytes.size() - uint64_t(f.rec.OFFSET_LEC) &&
             pixelBytes <= f.notes.pixelLength && f.rec.TRANSFERT_UID != kSyntaxUnknown && f.notes.frameCount <= 1;
  return f;
}

// Element encoding in the byte order and VR form of a syntax.
struct Encoder {
  bool explicitVr, big;
  void u16(std::vector<uint8_t>& out, uint16_t v) const { big ? putU16be(out, v) : putU16le(out, v); }
  void u32(std::vector<uint8_t>& out, uint32_t v) const { big ? putU32be(out, v) : putU32le(out, v); }
  void header(std::vector<uint8_t>& out, uint32_t tag, const char* vr, uint32_t length) const {
    u16(out, static_cast<uint16_t>(tag >> 16));
    u16(out, static_cast<uint16_t>(tag));
    if (!explicitVr) return u32(out, length);
    out.push_back(static_cast<uint8_t>(vr[0]));
    out.push_back(static_cast<uint8_t>(vr[1]));
    if (isLongFormVr(vr[0], vr[1])) {
      out.push_back(0);
      out.push_back(0);
      u32(out, length);
    } else {
      u16(out, static_cast<uint16_t>(length));
    }
  }
  std::vector<uint8_t> us(uint32_t tag, uint16_t v) const {
    std::vector<uint8_t> out;
    header(out, tag, "US", 2);
    u16(out, v);
    return out;
  }
  std::vector<uint8_t> is(uint32_t tag, long long v) const {
    std::string text = std::to_string(v);
    if (text.size() % 2) text += ' ';
    std::vector<uint8_t> out;
    header(out, tag, "IS", static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    return out;
  }
};

uint16_t clampedWord(float v) {
  if (!(v > 0)) return 0;
  return static_cast<uint16_t>(std::min(std::trunc(v), 65535.0f));
}

}  // namespace

std::optional<RdsaVolume> RDSA_EXTRACT_DATA(const std::filesystem::path& folder, int variant, const Options& opt,
                                            TraceLog& log, Refusal& why, const std::function<bool(int, int)>& onFile,
                                            const std::filesystem::path& output) {
  std::vector<std::filesystem::path> entries;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec))
    if (it->is_regular_file(ec) && !(!output.empty() && std::filesystem::equivalent(it->path(), output, ec)))
      entries.push_back(it->path());

  RdsaVolume v;
  struct Frame {
    std::vector<float> values;
    float slope;
    std::string file;
  };
  std::map<int, Frame> frames;  // by instance number
  int slicesGiven = 0;
  for (const auto& path : entries) {
    const auto bytes = readWholeFile(path);
    const SliceFile f = bytes ? walkSliceFile(*bytes, opt, log) : SliceFile{};
    if (!f.usable || (v.files > 0 && (f.rec.OrImSize_H != v.OrImSize_H || f.rec.OrImSize_V != v.OrImSize_V))) {
      v.skipped.push_back(path.filename().string());
      continue;
    }
    if (v.files == 0) {
      v.OrImSize_H = f.rec.OrImSize_H;
      v.OrImSize_V = f.rec.OrImSize_V;
      v.Ninst = f.rec.Ninst;
      v.syntax = static_cast<TransferSyntax>(f.rec.TRANSFERT_UID);
      v.RDSA_head.assign(bytes->begin(), bytes->begin() + f.rec.OFFSET_LEC);
      slicesGiven = std::max(f.notes.slices, 0);
    }
    ++v.files;
    if (onFile && !onFile(v.files, slicesGiven ? v.Ninst * slicesGiven : static_cast<int>(entries.size()))) {
      why = Refusal::of(RefusalCode::Cancelled, study_texts::kOpenCancelled);
      return std::nullopt;
    }
    // The file's own byte order; variant 1 values are signed, variant 2 unsigned and upside down.
    const ByteReader r(*bytes);
    const bool big = f.rec.TRANSFERT_UID == kExplicitBig;
    std::vector<float> values(v.frameSize());
    for (int x = 0; x < v.OrImSize_H; ++x)
      for (int y = 0; y < v.OrImSize_V; ++y) {
        const size_t at = static_cast<size_t>(f.rec.OFFSET_LEC) + 2 * (static_cast<size_t>(x) * v.OrImSize_V + y);
        const uint16_t word = (big ? r.u16be(at) : r.u16le(at)).value_or(0);
        const int row = variant == 2 ? v.OrImSize_H - 1 - x : x;
        values[static_cast<size_t>(row) * v.OrImSize_V + y] =
            variant == 2 ? static_cast<float>(word) : static_cast<float>(static_cast<int16_t>(word));
      }
    const auto [at, inserted] = frames.try_emplace(
        f.rec.instance_nb, Frame{std::move(values), f.rec.rescale_slope > 0 ? f.rec.rescale_slope : 1.0f,
                                 path.filename().string()});
    if (!inserted) {
      why = Refusal::formatted(RefusalCode::DuplicateInstance, study_texts::kDuplicateInstance, f.rec.instance_nb,
                               at->second.file.c_str(), path.filename().string().c_str());
      return std::nullopt;
    }
  }
  if (v.files == 0) {
    why = Refusal::of(RefusalCode::NoSliceFiles, study_texts::kNoDicomInFolder);
    return std::nullopt;
  }
  v.NCZ = slicesGiven ? slicesGiven : std::max(v.files / std::max(v.Ninst, 1), 1);
  const int total = v.Ninst * v.NCZ;
  if (total > kMaxReformatFrames || v.NCZ > kMaxSlices) {
    why = Refusal::formatted(RefusalCode::TooManySlices, study_texts::kTooManySlices, v.NCZ, kMaxSlices);
    return std::nullopt;
  }
  v.RDSA_float.assign(static_cast<size_t>(total) * v.frameSize(), 0.0f);
  v.rdsa_rescale.assign(static_cast<size_t>(total), 1.0f);
  int placed = 0;
  for (auto& [n, frame] : frames) {
    if (n < 1 || n > total) {
      v.skipped.push_back("instance " + std::to_string(n));
      continue;
    }
    std::copy(frame.values.begin(), frame.values.end(),
              v.RDSA_float.begin() + static_cast<ptrdiff_t>((n - 1) * v.frameSize()));
    v.rdsa_rescale[static_cast<size_t>(n - 1)] = frame.slope;
    ++placed;
  }
  if (placed == 0) {  // a file of zeros is no study
    why = Refusal::formatted(RefusalCode::ReformatEmpty, study_texts::kReformatEmpty, total, frames.begin()->first,
                             frames.rbegin()->first);
    return std::nullopt;
  }
  v.placed = placed;
  return v;
}

std::vector<uint16_t> RDSA_CLOSE_FILE(const RdsaVolume& v, int variant) {
  const int H = v.OrImSize_H, V = v.OrImSize_V, NCZ = v.NCZ;
  const size_t frame = v.frameSize();
  std::vector<uint16_t> out(static_cast<size_t>(v.Ninst) * NCZ * frame, 0);
  auto src = [&](int f, int x, int y) { return v.RDSA_float[static_cast<size_t>(f) * frame + static_cast<size_t>(x) * V + y]; };
  auto dst = [&](int t, int z, int x, int y) -> uint16_t& {
    return out[(static_cast<size_t>(t) * NCZ + z) * frame + static_cast<size_t>(x) * V + y];
  };
  if (variant == 1) {
    const int m = (H - NCZ) / 2;
    for (int t = 0; t < v.Ninst; ++t)
      for (int z = 0; z < NCZ; ++z)
        for (int x = std::max(m, 0); x < std::min(m + NCZ, H); ++x) {
          const int slice = m + NCZ - 1 - x, row = m + z;
          if (slice < 0 || slice >= NCZ || row < 0 || row >= H) continue;
          for (int y = 0; y < V; ++y) dst(t, slice, row, y) = clampedWord(src(t * NCZ + z, x, y));
        }
    return out;
  }
  const float largest = *std::max_element(v.rdsa_rescale.begin(), v.rdsa_rescale.end());
  for (int t = 0; t < v.Ninst; ++t)
    for (int z = kVariant2LowSlices; z < NCZ - kVariant2HighSlices; ++z) {
      const int f = t * NCZ + NCZ - 1 - z;
      const float scale = v.rdsa_rescale[static_cast<size_t>(f)] * kVariant2Scale / largest;
      for (int x = 0; x < H; ++x)
        for (int y = 0; y < V; ++y) dst(t, z, x, y) = clampedWord(src(f, H - 1 - x, y) * scale);
    }
  return out;
}

std::vector<uint8_t> reformattedHeader(const RdsaVolume& v) {
  const std::vector<uint8_t>& head = v.RDSA_head;
  const uint64_t pixelBytes = uint64_t(v.Ninst) * v.NCZ * v.frameSize() * 2;
  DicomElementWalker walk(head, head.size() + pixelBytes);
  std::vector<DicomElement> pieces;
  std::optional<DicomElement> pixel;
  for (DicomElement e; walk.next(e) == WalkStatus::Element;) {
    if (e.tag() == dicomTag(0x0002, 0x0010) && walk.checkValue(e) == WalkStatus::Element) {
      const auto value = walk.value(e);
      walk.setSyntax(syntaxOfUid(std::string_view(reinterpret_cast<const char*>(value.data()), value.size())));
    }
    if (e.tag() == kPixelData && e.depth == 0) {
      pixel = e;
      break;
    }
    pieces.push_back(e);
  }
  if (!pixel || v.syntax == kSyntaxUnknown) return {};
  const Encoder enc{v.syntax != kImplicitLittle, v.syntax == kExplicitBig};
  // The elements to set, in tag order; each replaces the one of its tag or is inserted.
  std::map<uint32_t, std::vector<uint8_t>> set{
      {kNumberOfFrames, enc.is(kNumberOfFrames, static_cast<long long>(v.Ninst) * v.NCZ)},
      {kPixelRepresentation, enc.us(kPixelRepresentation, 0)},
      {kTimeSlots, enc.us(kTimeSlots, static_cast<uint16_t>(v.Ninst))},
      {kSlices, enc.us(kSlices, static_cast<uint16_t>(v.NCZ))},
  };
  std::vector<uint8_t> out(head.begin(), head.begin() + static_cast<ptrdiff_t>(pieces.empty() ? pixel->offset : pieces.front().offset));
  std::map<uint16_t, long long> growth;          // bytes each group gains
  std::map<uint16_t, size_t> groupLengthAt;      // where each group length's value lies in out
  auto emit = [&](uint32_t tag, long long oldSize) {
    const std::vector<uint8_t>& bytes = set.at(tag);
    out.insert(out.end(), bytes.begin(), bytes.end());
    growth[static_cast<uint16_t>(tag >> 16)] += static_cast<long long>(bytes.size()) - oldSize;
    set.erase(tag);
  };
  auto emitBefore = [&](uint32_t tag) {
    while (!set.empty() && set.begin()->first < tag) emit(set.begin()->first, 0);
  };
  for (const DicomElement& e : pieces) {
    if (e.depth == 0 && e.group != 0x0002) {
      emitBefore(e.tag());
      if (set.count(e.tag())) {
        emit(e.tag(), static_cast<long long>(e.stepped));
        continue;
      }
      if (e.element == 0x0000) groupLengthAt[e.group] = out.size() + (e.valueOffset - e.offset);
    }
    out.insert(out.end(), head.begin() + static_cast<ptrdiff_t>(e.offset),
               head.begin() + static_cast<ptrdiff_t>(e.offset + e.stepped));
  }
  emitBefore(kPixelData);
  // Pixel Data: the original element's VR, the frames' length.
  const char vr[3] = {pixel->vr[0] == '-' ? 'O' : pixel->vr[0], pixel->vr[0] == '-' ? 'W' : pixel->vr[1], 0};
  enc.header(out, kPixelData, vr, static_cast<uint32_t>(pixelBytes));
  for (const auto& [group, at] : groupLengthAt) {
    if (!growth.count(group) || at + 4 > out.size()) continue;
    const ByteReader r(out);
    const uint32_t old = (enc.big ? r.u32be(at) : r.u32le(at)).value_or(0);
    std::vector<uint8_t> value;
    enc.u32(value, static_cast<uint32_t>(static_cast<long long>(old) + growth[group]));
    std::copy(value.begin(), value.end(), out.begin() + static_cast<ptrdiff_t>(at));
  }
  return out;
}

std::vector<uint8_t> reformattedFile(const RdsaVolume& v, int variant) {
  std::vector<uint8_t> out = reformattedHeader(v);
  if (out.empty()) return out;
  const std::vector<uint16_t> words = RDSA_CLOSE_FILE(v, variant);
  out.reserve(out.size() + 2 * words.size());
  for (uint16_t w : words) v.syntax == kExplicitBig ? putU16be(out, w) : putU16le(out, w);
  return out;
}

Status reformatFolder(const std::filesystem::path& folder, const std::filesystem::path& out, int variant,
                      const Options& opt, TraceLog& log, const std::function<bool(int, int)>& onFile) {
  Refusal why;
  const auto volume = RDSA_EXTRACT_DATA(folder, variant, opt, log, why, onFile, out);
  if (!volume) return why;
  const std::vector<uint8_t> bytes = reformattedFile(*volume, variant);
  if (bytes.empty()) return Refusal::of(RefusalCode::Undecodable, study_texts::kDecodeFailure);
  if (!writeFileAtomically(out, bytes))
    return Refusal::formatted(RefusalCode::CannotWrite, study_texts::kReformatNotWritten, out.string().c_str());
  return {};
}

std::optional<std::string> BrowseDir(Platform& platform, const std::string& prompt) {
  auto path = platform.chooseFolder(prompt);
  if (!path || path->empty()) return std::nullopt;
  return path;
}

std::optional<std::string> SAVE_DCM_FILE(Platform& platform, int LANGUE) {
  namespace t = study_texts;
  platform.information(std::string(t::kReformatSave1.pick(LANGUE)) + t::kReformatSave2.pick(LANGUE) +
                       t::kReformatSave3.pick(LANGUE));
  const auto choice = platform.chooseSaveFile(t::kReformatSaveTitle.pick(LANGUE), {{t::kReformatFilter.pick(LANGUE), "*.dcm"}}, 1);
  if (!choice || choice->path.empty()) return std::nullopt;
  const std::string& p = choice->path;
  return p.substr(0, std::min<size_t>(p.size(), kPathSize - 4)).find(".dcm") == std::string::npos ? p + ".dcm" : p;
}

ReformatOutcome DICOM_REFORMAT(Platform& platform, const Options& opt, int variant, TraceLog& log) {
  const int LANGUE = opt.LANGUE;
  const auto folder = BrowseDir(platform, study_texts::kReformatFolder.pick(LANGUE));
  if (!folder) return {Refusal::of(RefusalCode::Cancelled, study_texts::kOpenCancelled), {}};
  const auto out = SAVE_DCM_FILE(platform, LANGUE);
  if (!out) return {Refusal::of(RefusalCode::Cancelled, study_texts::kOpenCancelled), {}};
  // The panel opens with the first slice file, once the count to expect is known.
  bool shown = false;
  const Status st = reformatFolder(*folder, *out, variant, opt, log, [&](int done, int expected) {
    if (!shown) platform.beginProgress(format(study_texts::kSlicesProcessed.pick(LANGUE), done, expected));
    shown = true;
    return platform.progress(expected > 0 ? std::min(1.0, double(done) / expected) : 0.0);
  });
  if (shown) platform.endProgress();
  return {st, *out};
}

}  // namespace quorvel
