// Random sequences of the script events on a small phantom, with what is shown, exported or saved
// checked against a fresh computation after every event. A failing sequence is shrunk and written
// as a script; the scripts kept under tests/ui/sequences are replayed as regressions. Set
// QUORVEL_SOAK_SECONDS to run RandomSequences.Soak for that long on seeds of the day.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include <unistd.h>

#include "fresh_results.h"
#include "phantom/writers.h"
#include "render/view_geometry.h"
#include "ui/results_json.h"
#include "ui/script.h"
#include "ui/shell.h"
#include "ui/uncertainty.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

#ifdef QUORVEL_SANITIZED
constexpr int kSequencesPerShard = 12;
#else
constexpr int kSequencesPerShard = 50;
#endif
constexpr int kShards = 4, kChunksPerSequence = 30;
constexpr size_t kKeptCalls = 2000;  // the platform's record is trimmed beyond this

// The files every sequence may open, under placeholders that saved scripts keep.
struct SequenceData {
  fs::path folder;
  std::string substitute(std::string text) const {
    const std::pair<std::string, std::string> names[] = {{"@STUDY@", (folder / "small_el.dcm").string()},
                                                         {"@INTERFILE@", (folder / "small01.hdr").string()},
                                                         {"@EXAM@", (folder / "road.qvx").string()}};
    for (const auto& [name, value] : names)
      for (size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, name.size(), value);
    return text;
  }
};

bool failureReported = false;

// The folder of this process: CTest runs each test in a process of its own, several at once.
// Removed at exit unless a failure was reported (its script names files in it).
fs::path processFolder() {
  struct Folder {
    fs::path path = fs::path(QUORVEL_TEST_TMP) / "sequences" / std::to_string(getpid());
    ~Folder() {
      std::error_code ec;
      if (!failureReported) fs::remove_all(path, ec);
    }
  };
  static const Folder folder;
  return folder.path;
}

const SequenceData& sequenceData() {
  static const SequenceData data = [] {
    SequenceData d{processFolder() / "data"};
    fs::remove_all(d.folder);
    fs::create_directories(d.folder / "temp");
    phantom::PhantomParams p = phantom::defaultParams(64);
    p.slices = 32;
    p.slice_mm = 13.6;
    phantom::writeAcquisitions(phantom::buildPhantom(p), d.folder, "small",
                               {phantom::OutputFormat::DicomExplicit, phantom::OutputFormat::Interfile});
    return d;
  }();
  return data;
}

// The options every sequence starts with: coarse 3D samplings keep the model quick.
constexpr const char* kPrologue = "command 49\noption axial 24\noption angular 24\nkey Return";
// The exam (and template) sequences may open: the road to the 3D results, saved.
constexpr const char* kExamRoad = R"(open @STUDY@
command 200
key Return
key Tab
key Return
key Return
answer yes
command 53
command 54
)";

// One workstation in audit mode, driven line by line, checked after every line.
class SequenceRunner {
 public:
  explicit SequenceRunner(const fs::path& folder) : folder_(folder), ws_(platform_, folder) {
    platform_.screen = {1920, 1080};
    startUp(ws_);
    ws_.ledger.audit = true;
  }

  // Runs one script line; the failure the checks found after it, empty when none.
  std::string step(const std::string& line) {
    std::string text = sequenceData().substitute(line);
    for (size_t at; (at = text.find("@OUT@")) != std::string::npos;) text.replace(at, 5, folder_.string());
    std::istringstream in(text);
    std::string error;
    const auto events = parseScript(in, error);
    if (!events) return "bad line: " + error;
    std::ostringstream out;
    try {
      runScript(ws_, platform_, *events, out);
    } catch (const FatalExit& e) {
      return "fatal exit " + std::to_string(e.code) + ": " + e.text;
    }
    if (platform_.calls.size() > kKeptCalls)
      platform_.calls.erase(platform_.calls.begin(), platform_.calls.end() - kKeptCalls / 2);
    std::string why = check();
    if (why.empty() && !events->empty()) why = checkOutput(events->front());
    return why;
  }

  Workstation& ws() { return ws_; }

 private:
  std::string shownText(TextSlot slot) const {
    const auto* call = platform_.last("text:" + std::to_string(static_cast<int>(slot)));
    return call ? call->text : "";
  }

  // What the stage shows equals a fresh computation; the labels are well formed.
  std::string check() {
    Workstation& ws = ws_;
    if (const auto failures = auditGenerations(ws); !failures.empty()) return "audit: " + failures.front();
    const int stage = ws.shell._MENU_;
    const WorkflowState& f = ws.w.settings.flow;
    const bool reproj = ws.w.options.REPROJ != 0;
    const Segmentation& seg = ws.seg;
    if (!seg.LPE.empty()) {
      const uint16_t top = *std::max_element(seg.LPE.begin(), seg.LPE.end());
      if (seg.NREG > kMaxLabels || top > seg.NREG) return "a label beyond NREG";
      if (f.segment_done && seg.LPE.size() != ws.w.study.DATA.size()) return "labels and counts differ in size";
    }
    int undoFiles = 0;  // the snapshots stay within their ring
    for (const auto& entry : fs::directory_iterator(ws.folder / "temp"))
      undoFiles += entry.path().filename().string().rfind("undo_seg_", 0) == 0;
    if (undoFiles > ws.w.options.UNDO_max + 1) return "undo snapshots pile up in temp/";
    const bool segmentationShown =
        stage == kStageSegmentation || stage == kStageResults || stage == kStagePreview || stage == kStageResults3D;
    if (segmentationShown && !reproj && f.segment_done && !segmentationCurrent(ws))
      return "a segmentation made on other counts is shown";
    if (stage == kStageResults) {
      if (!resultCurrent(ws, Derived::Curves) || !resultCurrent(ws, Derived::ResultTexts)) return "results out of date";
      if (const std::string d = curvesDifference(ws.curves.vc, freshCurves(ws), ws.w.study.Ninst); !d.empty())
        return "results shown differ from a fresh computation: " + d;
      const int L = ws.w.options.LANGUE;
      const std::string left = std::string(ventriclePanelTitle(1, L)) + "\n" + ventricleResultsText(ws.curves.vc.G, L);
      const std::string shown = shownText(TextSlot::ResultsLeft);
      if (shown != resultsPanelText(ws, 1)) return "left results panel not the current results";
      if (!resultCurrent(ws, Derived::Uncertainty) && shown != left) return "left results panel with intervals gone";
    }
    // Intervals held as current were measured on the results as they are.
    if (ws.uncertainty && resultCurrent(ws, Derived::Uncertainty)) {
      const ResultVector now = resultVectorOf(ws.curves.vc);
      for (int i = 0; i < kUncertainResults; ++i)
        if (ws.uncertainty->results[i].value != now[i])
          return std::string("intervals current but measured on another ") + kUncertainResultKeys[i];
    }
    if (stage == kStagePreview && !resultCurrent(ws, Derived::Preview)) return "preview out of date";
    if (stage == kStageResults3D) {
      if (!resultCurrent(ws, Derived::Model) || !resultCurrent(ws, Derived::Sectors)) return "3D results out of date";
      if (const std::string d = sectorsDifference(ws.model.eye, freshSectors(ws), ws.w.options.SECT_25); !d.empty())
        return "sector means differ from a fresh computation: " + d;
      const SegmentalAnalysis fresh = analyseSegments(ws.modelInputs(), ws.model, ws.curves.vc.volume_voxels);
      if (segmentalJson(ws.segmental).dump() != segmentalJson(fresh).dump())
        return "segments differ from a fresh computation";
    }
    return {};
  }

  // Exports hold current results; a saved exam reopens with the same ones.
  std::string checkOutput(const ScriptEvent& e) {
    Workstation& ws = ws_;
    if (e.kind == ScriptEventKind::ExportTable && fs::exists(e.text) && fs::last_write_time(e.text) >= started_) {
      if (const std::string d = curvesDifference(ws.curves.vc, freshCurves(ws), ws.w.study.Ninst); !d.empty())
        return "results table from results out of date: " + d;
    }
    if (e.kind == ScriptEventKind::ExportTable17 && fs::exists(e.text) && fs::last_write_time(e.text) >= started_) {
      if (!resultCurrent(ws, Derived::Model)) return "17-sector table from a model out of date";
      if (const std::string d = sectorsDifference(ws.model.eye, freshSectors(ws), ws.w.options.SECT_25); !d.empty())
        return "17-sector table from sectors out of date: " + d;
    }
    if (e.kind == ScriptEventKind::SaveExam && fs::exists(e.text) && fs::last_write_time(e.text) >= started_)
      return checkReopened(e.text);
    return {};
  }

  std::string checkReopened(const fs::path& exam) {
    ScriptedPlatform p;
    Workstation other(p, folder_ / "reopen");
    if (!other.openExam(exam)) return "the saved exam does not open";
    const WorkflowState& f = other.w.settings.flow;
    if (f.vidange_done) {
      if (const std::string d = curvesDifference(other.curves.vc, freshCurves(other), other.w.study.Ninst); !d.empty())
        return "reopened results differ from its labels' results: " + d;
      if (const std::string d = curvesDifference(other.curves.vc, ws_.curves.vc, other.w.study.Ninst); !d.empty())
        return "reopened results differ from the saved ones: " + d;
    }
    if (f.build_visu && model3dJson(other).dump() != model3dJson(ws_).dump()) return "reopened 3D results differ";
    return {};
  }

  fs::path folder_;
  ScriptedPlatform platform_;
  Workstation ws_;
  fs::file_time_type started_ = fs::file_time_type::clock::now();
};

// The next events, chosen for the stage the workstation is in (one chunk: a few lines that go
// together, such as a key held around an arrow).
class EventChooser {
 public:
  EventChooser(uint64_t seed, fs::path out) : rng_(seed), out_(std::move(out)) {}

  std::string next(const Workstation& ws) {
    choices_.clear();
    const int stage = ws.shell._MENU_;
    common(ws);
    switch (stage) {
      case kStageReorientation: reorientation(ws); break;
      case kStageSegmentation: segmentation(ws); break;
      case kStageResults: results(ws); break;
      case kStagePreview: preview(); break;
      case kStageResults3D: results3D(); break;
      case kStageOptions: options(ws); break;
      default: add(30, "open @STUDY@");
    }
    double total = 0;
    for (const auto& c : choices_) total += c.first;
    double at = std::uniform_real_distribution<double>(0, total)(rng_);
    for (const auto& c : choices_)
      if ((at -= c.first) <= 0) return c.second;
    return choices_.back().second;
  }

 private:
  void add(double weight, std::string lines) { choices_.emplace_back(weight, std::move(lines)); }
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::string any(std::initializer_list<const char*> words) {
    return *(words.begin() + uniform(0, static_cast<int>(words.size()) - 1));
  }
  std::string xy(int w, int h) { return std::to_string(uniform(0, w - 1)) + " " + std::to_string(uniform(0, h - 1)); }
  std::string file(const char* stem, const char* ext) {
    return (out_ / (stem + std::to_string(++files_) + ext)).string();
  }

  void common(const Workstation& ws) {
    add(0.4, "open @STUDY@");
    add(0.15, "open @INTERFILE@");
    add(0.2, "answer yes\nopen-exam @EXAM@");
    add(0.2, "template @EXAM@");
    add(0.3, "answer " + std::to_string(uniform(40, 130)));
    add(0.8, "command 49");
    for (const char* c : {"66", "51", "52", "53"}) add(1.5, std::string("command ") + c);
    add(1.0, "answer yes\ncommand 54");
    add(0.3, "command 54");
    add(0.3, std::string("command ") + any({"201", "202"}));
    add(0.25, "answer " + any({"yes", "no"}) + "\ncommand 203");  // the reprojection mode on or off
    add(0.2, "command 205");  // the placement proposed on opening, on or off
    add(0.3, "key H");
    add(0.2, "key F1\ntick cine\nkey F1");
    add(0.35, "save-exam " + file("exam", ".qvx"));
    add(0.4, "export-table " + file("table", ".xls"));
    add(0.3, "export-table17 " + file("sectors", ".xls") + " name=SEQ");
    if (ws.w.settings.flow.segment_done) add(0.3, "answer yes\ncommand 56");
    if (ws.uncertaintyJob.running()) add(0.5, any({"tick background", "command 207"}));
  }

  void reorientation(const Workstation& ws) {
    if (ws.w.settings.flow.segment_done) {  // what changes the counts under a segmentation
      add(2, "key Tab\nkey " + any({"shift+H", "shift+V"}));
      add(1, "key " + any({"shift+H", "shift+V"}));
      add(1, "key Tab\nkeydown W\nkey " + any({"Up", "Left"}) + "\nkeyup W");
    }
    add(6, "command 200\nkey Return\nkey Tab\nkey Return\nkey Return");  // the road to the segmentation
    add(2, "command 200");
    add(4, "key Return");
    add(3, "key Tab\nkey Return");
    add(2, "key Tab");
    add(2, "key " + any({"Up", "Down", "Left", "Right", "ctrl+Up", "ctrl+Down"}));
    add(2, "key " + any({"PageUp", "PageDown", "ctrl+PageUp", "ctrl+PageDown"}));
    add(1, "key " + any({"shift+H", "shift+V", "Space"}));
    add(1, "keydown W\nkey " + any({"Up", "Down", "Left", "Right"}) + "\nkeyup W");
    const std::string b = any({"left", "right"});
    add(2, "press reorientation " + xy(512, 512) + " " + b + "\nmove reorientation " + xy(512, 512) +
               "\nrelease reorientation " + xy(512, 512) + " " + b);
    add(0.7, "threshold " + std::to_string(uniform(0, 100)));
    add(0.4, "wheel reorientation " + std::to_string(uniform(-2, 2)) + any({"", " shift"}));
  }

  // A mosaic position over a voxel of the ventricles or anywhere.
  std::string mosaicPoint(const Workstation& ws) {
    const Study& s = ws.w.study;
    const int shown = std::max(ws.mosaic.NcellH * ws.mosaic.NcellV, 1);
    const int z = std::clamp(s.seg_affmin + uniform(0, shown - 1), 0, std::max(s.NCZ - 1, 0));
    const SliceVoxel v{z, uniform(16, 47), uniform(16, 47)};
    const auto [x, y] = mosaicPixelOf(ws.mosaic, s.seg_affmin, v, uniform(0, 3) == 0);
    return std::to_string(x + 1) + " " + std::to_string(y + 1);
  }

  void segmentation(const Workstation& ws) {
    const std::string at = mosaicPoint(ws);
    add(3, "move segmentation " + at);
    add(4, "move segmentation " + at + "\nkey " + any({"Up", "Down", "Escape"}));
    const std::string b = any({"left", "right"});
    add(3, "press segmentation " + at + " " + b + "\nmove segmentation " + mosaicPoint(ws) +
               "\nrelease segmentation " + at + " " + b);
    add(1, "press segmentation " + at + " " + b + " " + any({"ctrl", "shift"}) + "\nrelease segmentation " + at);
    add(0.5, "double segmentation " + at + " " + b + " " + any({"ctrl", "shift"}));
    add(2, "key BackSpace");
    add(1.5, "key " + any({"ctrl+Up", "ctrl+Down", "ctrl+Left", "ctrl+Right", "Left", "Right"}));
    add(0.8, "move segmentation " + at + "\nkey " + any({"L", "ctrl+L", "ctrl+shift+L"}));
    add(0.6, "key " + any({"shift+Escape", "F5", "ctrl+shift+Return", "shift+S", "V"}));
    add(0.4, "answer yes\ncommand 55");
    add(0.5, "keydown Space\npress segmentation " + at + " left\nrelease segmentation " + at + " left\nkeyup Space");
    add(0.5, "keydown Space\npress segmentation " + at + " right\nrelease segmentation " + at +
                 " right\nkeyup Space\npress retouching " + xy(256, 256) + "\nmove retouching " + xy(256, 256) +
                 "\nrelease retouching " + xy(256, 256));
    add(1, "scroll " + std::to_string(uniform(0, ws.w.study.NCZ)));
    add(3, "key Return");
    add(3, "command 52");
    add(1, "keydown C\npress segmentation " + at + " " + b + "\nrelease segmentation " + at + " " + b + "\nkeyup C");
  }

  void results(const Workstation& ws) {
    if (!ws.uncertaintyJob.running()) add(0.15, "command 206");  // the intervals, measured in the background
    add(0.03, "compare @EXAM@");
    add(2, "key " + any({"Left", "Right", "PageUp", "PageDown"}));
    add(0.5, "move curve-left " + xy(300, 200));
    add(0.5, "key Return");
  }

  void preview() {
    add(2, "key " + any({"Tab", "Left", "Right", "Escape", "Return", "Space", "A", "E", "Z", "ctrl+A", "ctrl+V"}));
    add(2, "keydown V\nkey " + any({"Up", "Down", "Left", "Right", "PageUp", "PageDown"}) + "\nkeyup V");
    add(1.5, std::string("keydown ") + any({"X", "S"}) + "\nkey " + any({"PageUp", "PageDown", "Return"}) + "\nkeyup " +
                 any({"X", "S"}));
    add(1, std::string("keydown ") + any({"W", "Q", "C", "L"}) + "\nkey " + any({"Up", "Down"}) + "\nkeyup " +
               any({"W", "Q", "C", "L"}));
    add(1, "press preview3d " + xy(512, 512) + "\nmove preview3d " + xy(512, 512) + "\nrelease preview3d " +
               xy(512, 512));
    add(3, "answer yes\ncommand 54");
  }

  void results3D() {
    add(3, "key F");
    add(2, "key " + any({"G", "Up", "Down", "S", "D", "I", "R", "E", "W", "A", "F4", "Return"}));
    add(1, "press results3d " + xy(512, 512) + "\nrelease results3d " + xy(512, 512));
    add(0.5, "key " + any({"ctrl+Left", "ctrl+Right", "F6", "F7"}) + "\ntick depol");
    add(1.5, "export-table17 " + file("sectors", ".xls") + " name=SEQ");
  }

  void options(const Workstation& ws) {
    add(2, "option method " + any({"1", "2"}));
    add(2, "option sectors " + any({"13", "17", "19", "25"}));
    add(1, "option axial " + any({"24", "24", "48"}));
    add(1, "option angular " + any({"24", "24", "48"}));
    add(1, "option preview " + any({"12", "24", "48"}));
    add(1, "option language " + any({"0", "1"}));
    add(0.5, std::string("option ") + any({"equilibrium", "weighting"}) + " " + any({"0", "1"}));
    add(0.5, "option iterations " + std::to_string(uniform(1, 40)));
    add(3, "key Return");
    int back = 0;  // the command of the stage the panel was opened from
    switch (ws.shell.OPT_menu) {
      case kStageReorientation: back = 66; break;
      case kStageSegmentation: back = 51; break;
      case kStageResults: back = 52; break;
      case kStagePreview: back = 53; break;
      case kStageResults3D: back = 54; break;
      default: break;
    }
    if (back) add(2, "command " + std::to_string(back));
  }

  std::mt19937_64 rng_;
  fs::path out_;
  int files_ = 0;
  std::vector<std::pair<double, std::string>> choices_;
};

struct Outcome {
  std::vector<std::string> chunks;
  size_t events = 0;
  std::map<int, size_t> byStage;  // events run in each stage
  std::string failure;  // empty when every check held
};

fs::path sequenceFolder(const std::string& name) {
  const fs::path dir = processFolder() / name;
  fs::remove_all(dir);
  fs::create_directories(dir / "temp");
  return dir;
}

void makeExam() {
  const fs::path exam = sequenceData().folder / "road.qvx";
  if (fs::exists(exam)) return;
  SequenceRunner runner(sequenceFolder("exam"));
  std::istringstream lines(std::string(kPrologue) + "\n" + kExamRoad + "save-exam " + exam.string() + "\n");
  for (std::string line; std::getline(lines, line);) ASSERT_EQ(runner.step(line), "") << line;
  ASSERT_EQ(runner.ws().shell._MENU_, kStageResults3D);
}

// Runs chunks (given, or chosen from seed until count) and stops at the first failure.
Outcome runChunks(const std::string& name, const std::vector<std::string>* given, uint64_t seed, int count) {
  const fs::path dir = sequenceFolder(name);
  SequenceRunner runner(dir);
  EventChooser chooser(seed, dir);
  Outcome o;
  const size_t n = given ? given->size() : static_cast<size_t>(count);
  for (size_t i = 0; i < n && o.failure.empty(); ++i) {
    const std::string chunk = given ? (*given)[i] : (i == 0 ? std::string(kPrologue) : chooser.next(runner.ws()));
    o.chunks.push_back(chunk);
    std::istringstream lines(chunk);
    for (std::string line; std::getline(lines, line) && o.failure.empty();) {
      if (line.empty()) continue;
      ++o.events;
      ++o.byStage[runner.ws().shell._MENU_];
      if (std::string why = runner.step(line); !why.empty()) o.failure = line + "  ->  " + why;
    }
  }
  return o;
}

// The failure's reason without the event that showed it, to keep shrinking on the same fault.
std::string reasonOf(const std::string& failure) {
  const size_t at = failure.find("  ->  ");
  const std::string why = at == std::string::npos ? failure : failure.substr(at + 6);
  return why.substr(0, why.find(':'));
}

// Chunks removed while the sequence still fails for the same reason (delta debugging).
std::vector<std::string> shrink(std::vector<std::string> chunks, const std::string& failure) {
  const std::string reason = reasonOf(failure);
  auto stillFails = [&](const std::vector<std::string>& candidate) {
    const Outcome o = runChunks("shrink", &candidate, 0, 0);
    return !o.failure.empty() && reasonOf(o.failure) == reason;
  };
  for (size_t granularity = 2; chunks.size() > 1;) {
    const size_t step = std::max<size_t>(chunks.size() / granularity, 1);
    bool removed = false;
    for (size_t start = 0; start < chunks.size(); start += step) {
      std::vector<std::string> candidate(chunks.begin(), chunks.begin() + static_cast<long>(start));
      candidate.insert(candidate.end(), chunks.begin() + static_cast<long>(std::min(start + step, chunks.size())),
                       chunks.end());
      if (!candidate.empty() && stillFails(candidate)) {
        chunks = std::move(candidate);
        removed = true;
        break;
      }
    }
    if (removed) continue;
    if (step == 1) break;
    granularity = std::min(granularity * 2, chunks.size());
  }
  return chunks;
}

std::string scriptOf(const std::vector<std::string>& chunks) {
  std::string text;
  for (const std::string& c : chunks) text += c + "\n";
  return text;
}

// Shrinks a failing run and reports it as a script a test can keep.
void report(uint64_t seed, const Outcome& o) {
  failureReported = true;
  const std::vector<std::string> small = shrink(o.chunks, o.failure);
  const fs::path file = fs::path(QUORVEL_TEST_TMP) / ("failing-" + std::to_string(seed) + ".script");
  std::ofstream(file) << "# " << o.failure << "\n" << scriptOf(small);
  ADD_FAILURE() << "seed " << seed << ": " << o.failure << "\nshrunk to " << small.size() << " of " << o.chunks.size()
                << " chunks, written to " << file.string() << " (copy it into tests/ui/sequences to keep it):\n"
                << sequenceData().substitute(scriptOf(small));
}

class RandomSequences : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() { makeExam(); }
};

TEST_P(RandomSequences, ShowExportAndSaveOnlyCurrentResults) {
  size_t events = 0;
  for (int i = 0; i < kSequencesPerShard; ++i) {
    const uint64_t seed = 1000u * static_cast<uint64_t>(GetParam()) + static_cast<uint64_t>(i);
    const Outcome o = runChunks("shard" + std::to_string(GetParam()), nullptr, seed, kChunksPerSequence);
    events += o.events;
    if (!o.failure.empty()) return report(seed, o);
  }
  RecordProperty("events", static_cast<int>(events));
}

INSTANTIATE_TEST_SUITE_P(Shards, RandomSequences, ::testing::Range(0, kShards));

TEST(RandomSequenceRegressions, KeptSequencesStillPass) {
  makeExam();
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator(QUORVEL_SEQUENCES_DIR)) {
    if (entry.path().extension() != ".script") continue;
    std::ifstream in(entry.path());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line[0] != '#') lines.push_back(line);
    const Outcome o = runChunks("kept", &lines, 0, 0);
    EXPECT_EQ(o.failure, "") << entry.path().filename();
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

TEST(RandomSequenceSoak, RunsForTheTimeAsked) {
  const char* seconds = std::getenv("QUORVEL_SOAK_SECONDS");
  if (!seconds) GTEST_SKIP() << "set QUORVEL_SOAK_SECONDS to soak";
  makeExam();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atol(seconds));
  const uint64_t base = std::random_device{}() * 1000003ull;
  size_t sequences = 0, events = 0, failures = 0;
  std::map<int, size_t> byStage;
  while (std::chrono::steady_clock::now() < end) {
    const uint64_t seed = base + sequences;
    const Outcome o = runChunks("soak", nullptr, seed, kChunksPerSequence);
    ++sequences;
    events += o.events;
    for (const auto& [stage, n] : o.byStage) byStage[stage] += n;
    if (!o.failure.empty()) {
      ++failures;
      report(seed, o);
    }
  }
  std::cout << "soak: " << sequences << " sequences, " << events << " events, " << failures
            << " failing; events by stage:";
  for (const auto& [stage, n] : byStage) std::cout << " " << stage << ":" << n;
  std::cout << "\n";
}

}  // namespace
}  // namespace quorvel::testing
