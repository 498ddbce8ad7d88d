#pragma once
// The core's only door to the outside world. The desktop implements it with Qt,
// the command line and the tests with ScriptedPlatform.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

struct Bitmap24;

inline constexpr const char* kProductTitle = "Quorvel";

struct FileFilter {
  std::string label;    // "fichier DICOM" / "DICOM file"
  std::string pattern;  // "*.dcm"
};

struct FileChoice {
  std::string path;
  int filter = 1;  // 1-based index of the filter left selected
};

struct Rgb {
  unsigned char r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// One edit field of a form the core asks the user to fill (the 17-sector table's patient dialog).
struct FormField {
  std::string caption;
  std::string text;  // shown in the field when the form opens
};

struct Form {
  std::string title;
  std::vector<FormField> fields;
  std::string validate, cancel;  // the two buttons' captions
};

struct ScreenSize {
  int width = 1920, height = 1080;
};

enum class QuestionAnswer { Ok, Cancel };

// The pictures the core draws; a change of state names the one to redraw.
enum class View {
  Reorientation,  // the picture of the current re-orientation step
  Segmentation,   // the mosaic of counts and classes
  Retouching,     // the zoomed slice of the brush window
  Curves,         // both volume-curve plots (a change redraws both)
  CurveLeft,      // the left ventricle's plot, for pointer events
  CurveRight,     // the right ventricle's plot, for pointer events
  Preview3D,        // the preview's first frame (view 0)
  Preview3DSecond,  // its second frame (view 1)
  Results3D,
  MapPanelRight,  // the result panels of the 3D results (histogram, palette bar, texts, picked curve)
  MapPanelLeft,
  Bullseye,       // both bull's-eyes of the displayed map
  Segmental,      // segments in the end-diastolic frame and phase histograms
};

// Timers: cine, depolarisation animation of the 3D results, one-shot redraw, the poll of work
// running in the background.
enum class TimerId { Cine = 0, Depolarisation = 1, Redraw = 2, Background = 3 };
inline constexpr int kTimerCount = 4;

// Texts the front end shows outside the pictures.
enum class TextSlot {
  WindowTitle,    // the file shown in the title bar
  PatientBanner,  // patient, dates and heart rate
  SliceCounter,   // "Slices (N)" of the segmentation stage
  Caption,        // the caption of the current stage's picture ("Instant : 1 / 8 ...")
  CursorLeft,     // the cursor read-out of the left ventricle's plot
  CursorRight,    // the cursor read-out of the right ventricle's plot
  ResultsLeft,    // the results panel of the left ventricle
  ResultsRight,   // the results panel of the right ventricle
  MethodLabel,    // the fitting method and its setting
  Help,           // the help panel of the current stage (empty: hidden)
  Status,         // what the last command did ("Report written: ..."), shown a while
};

// Progress of long work in the core: called with the fraction done; false asks to cancel.
using ProgressFn = std::function<bool(double)>;

// Thrown by implementations whose fatal() must not end the process (tests, the CLI wrapper).
struct FatalExit {
  int code;
  std::string title;
  std::string text;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Message boxes, titled kProductTitle unless a title is given.
  virtual void warning(const std::string& text) = 0;      // MEMS
  virtual void information(const std::string& text) = 0;  // MUMS
  // An information with a picture beside it (a plot): front ends without pictures show the text.
  virtual void informationWithPicture(const std::string& text, const Bitmap24& picture) {
    (void)picture;
    information(text);
  }
  // OK / Cancel; an empty title leaves the box untitled.
  virtual QuestionAnswer question(const std::string& text, const std::string& title) = 0;
  QuestionAnswer question(const std::string& text) { return question(text, kProductTitle); }

  // The name a save chooser proposes, without extension (the open study's patient and date);
  // empty: none. Choosers start in the folder the user chose last.
  std::string suggestedFileStem;

  // Choosers; an empty optional means the user cancelled.
  virtual std::optional<FileChoice> chooseOpenFile(const std::string& title,
                                                   const std::vector<FileFilter>& filters,
                                                   int preselectedFilter) = 0;
  virtual std::optional<FileChoice> chooseSaveFile(const std::string& title,
                                                   const std::vector<FileFilter>& filters,
                                                   int preselectedFilter) = 0;
  virtual std::optional<std::string> chooseFolder(const std::string& title) = 0;
  virtual std::optional<Rgb> chooseColour(Rgb initial) = 0;
  // A text editor (the exam's comments) opened on initial; nothing when the user cancelled or the
  // front end has no editor.
  virtual std::optional<std::string> editText(const std::string& title, const std::string& initial) {
    (void)title, (void)initial;
    return std::nullopt;
  }
  // A form of edit fields: the texts typed, one per field in order; nothing when the user cancelled
  // or the front end has no forms.
  virtual std::optional<std::vector<std::string>> fillForm(const Form& form) {
    (void)form;
    return std::nullopt;
  }

  // Modeless heart-rate prompt; the front end answers later through the study's setter.
  virtual void openHeartRatePrompt(int initialBpm) = 0;
  virtual void closeHeartRatePrompt() = 0;

  virtual void startTimer(TimerId id, int periodMs) = 0;
  virtual void stopTimer(TimerId id) = 0;

  // "Setters that notify, views that pull": the front end redraws that view when it paints.
  virtual void pictureChanged(View view) = 0;
  virtual void textChanged(TextSlot slot, const std::string& text) = 0;

  // Progress of long work; returning false from progress() asks the caller to cancel. A progress
  // begun inside another shows in the same window (each begin has its end).
  virtual void beginProgress(const std::string& title) = 0;
  // The same for work that cannot stop half-way: no cancel is offered.
  virtual void beginWait(const std::string& title) { beginProgress(title); }
  virtual bool progress(double fraction) = 0;
  virtual void endProgress() = 0;

  virtual bool openDocument(const std::string& path) = 0;
  virtual ScreenSize screenSize() = 0;

  // Shows text in a box titled title and ends the process with code. Never returns.
  [[noreturn]] virtual void fatal(int code, const std::string& title, const std::string& text) = 0;
};

// The progress window, shown at once and for as long as this lives.
class ProgressScope {
 public:
  enum Kind { Cancellable, Wait };
  ProgressScope(Platform& p, const std::string& title, Kind kind) : platform_(p) {
    kind == Cancellable ? p.beginProgress(title) : p.beginWait(title);
    p.progress(0);
  }
  ~ProgressScope() { platform_.endProgress(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  bool advance(double fraction) { return platform_.progress(fraction); }

 private:
  Platform& platform_;
};

}  // namespace quorvel
