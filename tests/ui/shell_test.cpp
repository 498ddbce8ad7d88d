// The stage machine driven as a user drives it: commands, keys, pointer, timers, start-up and exit,
// on the digital phantom read from its DICOM file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <tuple>
#include <utility>

#include "phantom/writers.h"
#include "segmentation/placement_texts.h"
#include "segmentation/undo.h"
#include "render/palettes.h"
#include "render/segmentation_view.h"
#include "render/view_geometry.h"
#include "render/view3d.h"
#include "model3d/model3d_commands.h"
#include "ui/help_texts.h"
#include "ui/input_events.h"
#include "ui/model3d_input.h"
#include "ui/shell.h"
#include "ui/view_pictures.h"
#include "ui/shell_texts.h"
#include "workstation_fixture.h"

namespace quorvel::testing {
namespace {

namespace texts = shell_texts;

class Shell : public WorkstationTest {
 protected:
  static void SetUpTestSuite() {
    const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / "shell_phantom";
    std::filesystem::create_directories(dir);
    phantomFile = phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams(64)), dir, "ph",
                                             {phantom::OutputFormat::DicomExplicit})
                      .at(0);
  }
  void open() {
    platform.openAnswers.push_back(FileChoice{phantomFile.string(), 1});
    runCommand(*ws, kCmdOpenAcquisition);
  }
  void key(Key k, KeyModifiers m = {}) {
    keyDown(*ws, k, m);
    keyUp(*ws, k, m);
  }
  int stage() const { return ws->shell._MENU_; }
  // Enabled states of the eight tool buttons, in their order.
  std::vector<bool> buttons() const {
    std::vector<bool> out;
    for (const ToolButton& b : toolBar(*ws)) out.push_back(b.enabled);
    return out;
  }
  void toSegmentation() {
    open();
    key(Key::Return);  // step 0
    key(Key::Tab);
    key(Key::Return);  // step 1
    key(Key::Return);  // step 2: segmentation
  }
  static std::filesystem::path phantomFile;
};
std::filesystem::path Shell::phantomFile;

TEST_F(Shell, StagesAndTheirButtonsFollowTheRoad) {
  const std::vector<bool> start{false, false, false, false, false, true, true, false};
  EXPECT_EQ(buttons(), start);
  runCommand(*ws, kCmdResults);  // nothing loaded: nothing happens
  EXPECT_EQ(stage(), kStageNone);
  runCommand(*ws, kCmdExportResults);  // no report outside stages 2, 3 and 4
  EXPECT_EQ(platform.count("save"), 0);
  open();
  EXPECT_EQ(stage(), kStageReorientation);
  EXPECT_EQ(buttons(), (std::vector<bool>{true, false, false, false, false, true, true, false}));
  runCommand(*ws, kCmdResults);  // data but no segmentation: nothing happens
  runCommand(*ws, kCmdSegmentation);
  EXPECT_EQ(stage(), kStageReorientation);
  key(Key::Return);
  key(Key::Tab);
  EXPECT_EQ(ws->w.settings.flow.fich_axis, 1);
  key(Key::Return);
  EXPECT_EQ(ws->w.settings.flow.fich_axis, 2);
  EXPECT_EQ(buttons(), (std::vector<bool>{true, true, false, false, false, true, true, false}));
  key(Key::Return);
  EXPECT_EQ(stage(), kStageSegmentation);
  EXPECT_EQ(buttons(), (std::vector<bool>{true, true, true, true, false, true, true, true}));
  EXPECT_EQ(platform.last("text:" + std::to_string(static_cast<int>(TextSlot::SliceCounter)))->text, "Coupes (64)");
  runCommand(*ws, kCmdResults);
  EXPECT_EQ(stage(), kStageResults);
  EXPECT_GT(ws->curves.vc.G.FES, 50.0f);
  EXPECT_EQ(platform.last("text:" + std::to_string(static_cast<int>(TextSlot::MethodLabel)))->text,
            "Méthode : courbe de référence (15 it.)");
  key(Key::Right);  // next method: the curves are fitted again at once
  EXPECT_EQ(ws->w.settings.curves.TACFIT_switch, 2);
  platform.saveAnswers.push_back(FileChoice{(dir / "rep").string(), 1});
  runCommand(*ws, kCmdExportResults);
  EXPECT_EQ(std::filesystem::file_size(dir / "rep - global.bmp"), 54u + 3145728u);
  EXPECT_EQ(ws->w.options.RESEXP_type, 1);
  runCommand(*ws, kCmdReorientation);
  EXPECT_EQ(stage(), kStageReorientation);
}

TEST_F(Shell, ThreeDimensionalStages) {
  runCommand(*ws, kCmd3D);  // no preview yet: nothing
  EXPECT_EQ(stage(), kStageNone);
  toSegmentation();
  runCommand(*ws, kCmd3D);
  EXPECT_EQ(stage(), kStageSegmentation);
  key(Key::Return);  // the presence check, then the preview
  EXPECT_EQ(stage(), kStagePreview);
  EXPECT_EQ(ws->w.settings.flow.Previsu_OK, 1);
  EXPECT_TRUE(toolBar(*ws)[4].enabled);
  key(Key::Escape);
  EXPECT_EQ(stage(), kStageSegmentation);
  runCommand(*ws, kCmdPreview);
  platform.questionAnswers = {QuestionAnswer::Cancel};
  runCommand(*ws, kCmd3D);
  EXPECT_EQ(platform.last("question")->text.rfind("Ech. Ax. = 48\nEch. Ang. = 48\n\nMéthode  :  courbe de référence ( 10 it. )", 0), 0u);
  EXPECT_EQ(stage(), kStagePreview);
  platform.questionAnswers = {QuestionAnswer::Ok};
  runCommand(*ws, kCmd3D);
  ASSERT_EQ(stage(), kStageResults3D);
  EXPECT_EQ(ws->w.settings.flow.build_visu, 1);
  EXPECT_GT(ws->model.maps.mesh_fej_mean[0], 40.0f);

  // A click on the right ventricle in the results picture picks its triangle and fits its curve.
  const Visu3DBuffers& buffers = ws->pictures.visu3D;
  drawView(*ws, View::Results3D);
  const auto on = std::find(buffers.VISUV.begin(), buffers.VISUV.end(), kTagRight) - buffers.VISUV.begin();
  ASSERT_LT(on, kVisuSide * kVisuSide);
  const int row = static_cast<int>(on) / kVisuSide, col = static_cast<int>(on) % kVisuSide;
  mousePress(*ws, View::Results3D, col, row, MouseButton::Primary, {});
  EXPECT_FALSE(ws->shell.pickedCurves[1].valid);  // not before the button is released
  mouseMove(*ws, View::Results3D, col + 1, row);    // a hand's tremor is still a click
  mouseRelease(*ws, View::Results3D, col + 1, row, MouseButton::Primary);
  EXPECT_EQ(ws->model.maps.MC_v[1], 2);
  EXPECT_EQ(ws->model.maps.MC_ar[1], buffers.VISUAR[on]);
  EXPECT_TRUE(ws->shell.pickedCurves[1].valid);
  EXPECT_EQ(ws->shell.pickedCurves[1].caption.rfind("FES = ", 0), 0u);
  EXPECT_FALSE(ws->shell.pickedCurves[0].valid);
  // A drag turns the view and keeps the picked point; the wheel zooms within 50..200.
  const View3D before = ws->model3d.view3d.views[2];
  const int picked = ws->model.maps.MC_ar[1];
  const std::string caption = ws->shell.pickedCurves[1].caption;
  drawView(*ws, View::Results3D);
  const auto onLeft = std::find(buffers.VISUV.begin(), buffers.VISUV.end(), kTagLeft) - buffers.VISUV.begin();
  ASSERT_LT(onLeft, kVisuSide * kVisuSide);
  const int rowLeft = static_cast<int>(onLeft) / kVisuSide, colLeft = static_cast<int>(onLeft) % kVisuSide;
  mousePress(*ws, View::Results3D, colLeft, rowLeft, MouseButton::Primary, {});
  mouseMove(*ws, View::Results3D, colLeft + 64, rowLeft);
  mouseRelease(*ws, View::Results3D, colLeft + 64, rowLeft, MouseButton::Primary);
  EXPECT_NE(ws->model3d.view3d.views[2].axis2, before.axis2);  // a sideways drag turns about the rows
  EXPECT_FALSE(ws->shell.pickedCurves[0].valid);  // the press on the left ventricle began a drag
  EXPECT_EQ(ws->model.maps.MC_ar[1], picked);
  EXPECT_EQ(ws->shell.pickedCurves[1].caption, caption);
  mouseWheel(*ws, View::Results3D, 3, {});
  EXPECT_EQ(ws->model3d.view3d.views[2].visu_scale, 163);
  mouseWheel(*ws, View::Results3D, 10, {});
  EXPECT_EQ(ws->model3d.view3d.views[2].visu_scale, 200);
  // The left panel's histogram: a press sets the lower bound of the statistics window.
  mousePress(*ws, View::MapPanelLeft, 27 + 2 * 50, 100, MouseButton::Primary, {});
  mouseRelease(*ws, View::MapPanelLeft, 27 + 2 * 50, 100, MouseButton::Primary);
  EXPECT_EQ(ws->model.maps.fej_cmin[0], 50);
  EXPECT_GE(ws->model.maps.mesh_fej_mean[0], 50.0f);
  // The update resets every map window before recomputing.
  ws->model3d.ranges.fej_pmin[0] = 33;
  platform.questionAnswers = {QuestionAnswer::Cancel};
  runCommand(*ws, kCmdUpdateSegmental);
  EXPECT_EQ(ws->model3d.ranges.fej_pmin[0], 33.0f);
  platform.questionAnswers = {QuestionAnswer::Ok};
  runCommand(*ws, kCmdUpdateSegmental);
  EXPECT_NE(ws->model3d.ranges.fej_pmin[0], 33.0f);
  EXPECT_EQ(stage(), kStageResults3D);
  // I, F4 and D change the surface (interpolation, classical palette, sector outlines), G and S
  // the bull's-eyes (sector values, colours by sector).
  const std::pair<Key, View> toggles[] = {{Key::I, View::Results3D}, {Key::F4, View::Results3D},
                                          {Key::D, View::Results3D}, {Key::G, View::Bullseye},
                                          {Key::S, View::Bullseye}};
  for (const auto& [k, view] : toggles) {
    const auto shown = drawView(*ws, view)->pixels;
    key(k);
    EXPECT_NE(drawView(*ws, view)->pixels, shown) << keyName(k);
  }
  EXPECT_EQ(ws->w.options.visu_interp, 0);
  EXPECT_EQ(ws->w.options.pal3D, 1);
  EXPECT_EQ(ws->model3d.model3d.mesh_param, 0);
  EXPECT_EQ(ws->model3d.model3d.mesh_sect_grad, 0);
  EXPECT_EQ(ws->model3d.model3d.mesh_Hsect, 1);
  Table3D classical;
  DEFINE_3D_PAL(ws->w.options.palette3D, 1, classical);
  EXPECT_EQ(ws->pictures.table3D.RRR, classical.RRR);  // the table follows the palette kind
  // By sector, without values: one colour per sector of each ventricle, besides the background,
  // the outlines and the titles.
  const Bitmap24& eyes = *drawView(*ws, View::Bullseye);
  std::set<std::array<uint8_t, 3>> colours;
  for (int y = 0; y < eyes.height; ++y)
    for (int x = 0; x < eyes.width; ++x) {
      const Rgb c = eyes.get(x, y);
      colours.insert({c.r, c.g, c.b});
    }
  EXPECT_LE(colours.size(), 2u * 17 + 3);
  key(Key::F);  // 17 -> 19 sectors
  EXPECT_EQ(ws->w.options.SECT_25, 19);
  platform.saveAnswers.push_back(FileChoice{(dir / "maps.dcm").string(), 3});
  runCommand(*ws, kCmdExportResults);
  EXPECT_TRUE(std::filesystem::exists(dir / "maps - local.dcm"));
  key(Key::Return);
  EXPECT_EQ(stage(), kStagePreview);
}

TEST_F(Shell, PreviewFramesAndTheirKeys) {
  toSegmentation();
  key(Key::Return);
  ASSERT_EQ(stage(), kStagePreview);
  View3DSettings& s = ws->model3d.view3d;
  auto frame = [](int pane) { return pane ? View::Preview3DSecond : View::Preview3D; };
  auto tags = [&](int pane, uint8_t tag) {
    drawView(*ws, frame(pane));
    const std::vector<uint8_t>& t = ws->pictures.preview3D[pane].VISUV;
    return std::count(t.begin(), t.end(), tag);
  };
  auto held = [&](Key letter, Key k) {
    keyDown(*ws, letter, {});
    key(k);
    keyUp(*ws, letter, {});
  };
  // The left ventricle alone: in the first frame its mesh, in the second the mesh and the voxels
  // outside it; both frames take keys.
  EXPECT_EQ(s.visu_no, 0);
  EXPECT_GT(tags(0, kTagLeft), 0);
  EXPECT_EQ(tags(0, kTagRight), 0);
  EXPECT_EQ(tags(0, kTagVoxelLeft), 0);
  EXPECT_GT(tags(1, kTagVoxelLeft), 0);
  const Rgb yellow{255, 230, 0};
  auto corner = [&](int pane) { return drawView(*ws, frame(pane))->get(0, 0); };
  EXPECT_EQ(corner(0).g, yellow.g);
  // A double click takes the keys from the first frame; it keeps following the second's direction.
  mouseDoubleClick(*ws, View::Preview3D, 20, 20, MouseButton::Primary, {});
  EXPECT_EQ(s.views[0].visu_view, 0);
  EXPECT_NE(corner(0).g, yellow.g);
  key(Key::PageUp, {true, false});  // display mode of the second frame only
  EXPECT_EQ(s.visu_type, (std::array<int, 2>{0, 0}));
  key(Key::E);
  EXPECT_EQ(s.visu_echelle[0], 0);
  EXPECT_EQ(s.visu_echelle[1], 1);
  key(Key::Tab, {true, false});  // the next reference view
  EXPECT_EQ(s.views[1].visu_Pvue, 2);
  EXPECT_EQ(s.views[0].axis2, s.views[1].axis2);
  EXPECT_NE(s.views[1].axis2, View3DSettings{}.views[1].axis2);
  s.visu_coord = 0;
  key(Key::Tab, {false, true});  // back to the reference, the first frame no longer follows
  EXPECT_EQ(s.views[1].axis2, View3DSettings{}.views[1].axis2);
  EXPECT_EQ(s.views[0].visu_Pvue, 2);
  mousePress(*ws, View::Preview3D, 20, 20, MouseButton::Primary, {});  // a press gives the keys back
  mouseRelease(*ws, View::Preview3D, 20, 20, MouseButton::Primary);
  EXPECT_EQ(s.views[0].visu_view, 1);
  // Edge mode, atria, the planes' size.
  key(Key::Z);
  EXPECT_GT(tags(0, kTagEdgeLeft), 0);
  EXPECT_EQ(tags(0, kTagVoxelAtria), 0);
  key(Key::A, {true, false});
  EXPECT_GT(tags(0, kTagVoxelAtria), 0);
  key(Key::PageUp, {false, true});
  EXPECT_EQ(s.planeRadius, kPlaneRadiusDefault + 2);
  // Held letters and arrows: contrast, luminosity, mesh fineness (rebuilt), smoothing.
  held(Key::C, Key::Up);
  held(Key::L, Key::Down);
  held(Key::W, Key::Up);
  held(Key::Q, Key::Down);
  keyDown(*ws, Key::C, {});
  releaseHeldKeys(*ws);  // the window lost the keyboard while C was held
  key(Key::Up);
  EXPECT_EQ(ws->w.options.visu_CONT3D, 22.0f);
  EXPECT_EQ(ws->w.options.visu_LUM3D, 68.0f);
  EXPECT_EQ(ws->w.options.mesh_samP, 48);
  EXPECT_EQ(ws->model.mesh.mesh_samP_built, 48);
  EXPECT_EQ(ws->w.options.mesh_itpre, 1);
  EXPECT_EQ(previewSettingsCaption(*ws), "Contraste 22  -  Luminosité 68  -  Maillage 48  -  Lissage 1");
  // V + Page moves the left valve plane along its normal.
  const float valveBefore = ws->model.skel.Sz0[1][0];
  held(Key::V, Key::PageUp);
  EXPECT_NE(ws->model.skel.Sz0[1][0], valveBefore);
  // S and X + Page move the sliders of the ventricle shown alone by a twentieth.
  const int cs = previewSliderPosition(*ws, PreviewSlider::CylinderSphere);
  held(Key::S, Key::PageDown);
  EXPECT_EQ(previewSliderPosition(*ws, PreviewSlider::CylinderSphere), cs - kCsSliderScale / 20);
  held(Key::X, Key::PageDown);
  EXPECT_EQ(previewSliderPosition(*ws, PreviewSlider::Curvature), kCrSliderScale - kCrSliderScale / 20);
  key(Key::Tab);
  key(Key::Tab);  // both ventricles: nothing to adjust
  EXPECT_EQ(s.visu_no, 2);
  held(Key::S, Key::PageDown);
  EXPECT_EQ(previewSliderPosition(*ws, PreviewSlider::CylinderSphere), cs - kCsSliderScale / 20);
  // Not synchronised, Tab changes the ventricles of the frames taking keys only.
  s.visu_coordv = 0;
  mouseDoubleClick(*ws, View::Preview3D, 20, 20, MouseButton::Primary, {});
  key(Key::Tab);
  EXPECT_EQ(s.visu_no, 2);
  EXPECT_GT(tags(0, kTagRight), 0);
  EXPECT_EQ(tags(1, kTagRight), 0);
}

TEST_F(Shell, RefusedFileLeavesTheStageAndTheStudy) {
  toSegmentation();
  ASSERT_EQ(stage(), kStageSegmentation);
  const auto data = ws->w.study.DATA;
  std::ofstream(dir / "bad.dcm") << "not a DICOM file";
  platform.openAnswers.push_back(FileChoice{(dir / "bad.dcm").string(), 1});
  runCommand(*ws, kCmdOpenAcquisition);
  EXPECT_EQ(stage(), kStageSegmentation);
  EXPECT_TRUE(ws->w.study.DATA == data);
  EXPECT_EQ(platform.last("warning")->text, "   Fichier DICOM inapproprié !   ");
}

// The automatic placement puts a turned, shifted heart back where the segmentation looks; the user
// validates the steps as usual. It is offered only before the first step and refuses a study where
// nothing beats, leaving the settings as they were.
TEST_F(Shell, AutomaticPlacementBeforeTheFirstStep) {
  auto placementEnabled = [&] {
    for (const Menu& m : menuBar(*ws))
      for (const MenuItem& i : m.items)
        if (i.code == kCmdAutoPlacement) return i.enabled;
    ADD_FAILURE() << "no automatic placement in the menus";
    return false;
  };
  EXPECT_FALSE(placementEnabled());
  phantom::PhantomParams p = phantom::defaultParams(64);
  p.rotation_deg = 30;
  p.shift_row_mm = 20;
  p.shift_column_mm = -25;
  const double ef = p.lv.ef_percent;
  auto openPhantom = [&](const char* name) {
    const auto file =
        phantom::writeAcquisitions(phantom::buildPhantom(p), dir, name, {phantom::OutputFormat::DicomExplicit}).at(0);
    platform.openAnswers.push_back(FileChoice{file.string(), 1});
    runCommand(*ws, kCmdOpenAcquisition);
  };
  // Off, the study opens on the default square and the command proposes the placement.
  runCommand(*ws, kCmdPlacementOnOpen);
  ASSERT_EQ(ws->w.options.proposePlacementOnOpen, 0);
  openPhantom("turned");
  ASSERT_TRUE(placementEnabled());
  const ReorientSettings before = ws->w.settings.reorient;
  runCommand(*ws, kCmdAutoPlacement);
  const ReorientSettings proposal = ws->w.settings.reorient;
  EXPECT_NEAR(proposal.rotation * 180 / 3.14159265, -30.0, 4.0);
  EXPECT_NE(proposal.recad_x, before.recad_x);
  const std::string status = "text:" + std::to_string(static_cast<int>(TextSlot::Status));
  EXPECT_EQ(platform.last(status)->text.rfind("Placement automatique proposé (battement/bruit ", 0), 0u)
      << platform.last(status)->text;
  key(Key::Return);
  EXPECT_FALSE(placementEnabled());
  key(Key::Tab);
  key(Key::Return);
  key(Key::Return);
  ASSERT_EQ(stage(), kStageSegmentation);
  runCommand(*ws, kCmdResults);
  EXPECT_NEAR(ws->curves.vc.G.FES, ef, 5.0);

  // On, opening proposes the same placement and says so.
  runCommand(*ws, kCmdPlacementOnOpen);
  platform.calls.clear();
  openPhantom("turned");
  const ReorientSettings& r = ws->w.settings.reorient;
  EXPECT_EQ(std::tie(r.recad_x, r.recad_y, r.recad_t, r.rotation, r.valves_angle),
            std::tie(proposal.recad_x, proposal.recad_y, proposal.recad_t, proposal.rotation, proposal.valves_angle));
  ASSERT_TRUE(platform.last(status));
  EXPECT_EQ(platform.last(status)->text.rfind("Placement automatique proposé", 0), 0u);

  // A study that does not beat opens on the default square with the reason in the status line;
  // asked for, the refusal is a box.
  p.lv.ef_percent = p.rv.ef_percent = 0.01;
  p.anatomy.base_descent_mm = 0;
  openPhantom("still");
  EXPECT_EQ(platform.count("warning"), 0);
  EXPECT_EQ(platform.last(status)->text, std::string(placement_texts::kNoBeat.fr) + shell_texts::kPlaceByHand.fr);
  EXPECT_EQ(std::tie(r.recad_x, r.rotation), std::tie(before.recad_x, before.rotation));
  runCommand(*ws, kCmdAutoPlacement);
  EXPECT_EQ(platform.last("warning")->text, placement_texts::kNoBeat.fr);
  EXPECT_EQ(std::tie(r.recad_x, r.rotation), std::tie(before.recad_x, before.rotation));
}

// The last step's wait window opens before the re-orientation and the quantisation; the
// flooding's own progress shows inside it.
TEST_F(Shell, SegmentingWaitsInOneWindowFromTheStart) {
  open();
  key(Key::Return);
  key(Key::Tab);
  key(Key::Return);
  const int begun = platform.count("progress-begin");
  key(Key::Return);
  ASSERT_EQ(stage(), kStageSegmentation);
  EXPECT_EQ(platform.count("progress-begin") - begun, 2);
  EXPECT_EQ(platform.count("progress-begin"), platform.count("progress-end"));
}

// Enter validates a step and stays on it: the status line and the step buttons say where to go on;
// the 3D confirmation's title asks its question.
TEST_F(Shell, ReorientationSaysWhichStepIsNext) {
  open();
  auto next = [&] {
    std::vector<bool> out;
    for (const StepButton& b : reorientationSteps(*ws)) out.push_back(b.next);
    return out;
  };
  const std::string status = "text:" + std::to_string(static_cast<int>(TextSlot::Status));
  EXPECT_EQ(next(), (std::vector<bool>{false, false, false}));
  key(Key::Return);
  EXPECT_EQ(next(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(platform.last(status)->text, "Vue validée. Étape suivante : Grand axe vertical (Tab ou son bouton).");
  key(Key::Tab);
  EXPECT_EQ(next(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(platform.last(status)->text, "");  // said, and done
  key(Key::Return);  // the vertical view goes on to the short axis by itself
  EXPECT_EQ(ws->w.settings.flow.fich_axis, 2);
  EXPECT_EQ(next(), (std::vector<bool>{false, false, false}));
  key(Key::Return);
  ASSERT_EQ(stage(), kStageSegmentation);
  runCommand(*ws, kCmdResults);
  runCommand(*ws, kCmdPreview);
  runCommand(*ws, kCmd3D);
  ASSERT_TRUE(platform.last("question"));
  EXPECT_EQ(platform.last("question")->title, texts::kModelQuestionTitle.fr);
}

// Each shortcut the menus show runs its item's command: the same boxes and dialogs, stage and exit.
TEST_F(Shell, MenuShortcutsAreTheKeysThatRunTheirCommands) {
  struct Outcome {
    std::vector<std::string> shown;
    int stage;
    bool exit;
    bool operator==(const Outcome&) const = default;
  };
  auto outcome = [](const std::function<void(Workstation&)>& act) {
    ScriptedPlatform p;
    Workstation w(p, scratchFolder());
    act(w);
    Outcome o{{}, w.shell._MENU_, w.shell.exitRequested};
    for (const auto& c : p.calls)
      if (c.kind.rfind("text:", 0) != 0 && c.kind.rfind("timer", 0) != 0 && c.kind != "picture")
        o.shown.push_back(c.kind + " " + c.text);
    return o;
  };
  int checked = 0;
  for (const Menu& menu : menuBar(*ws))
    for (const MenuItem& item : menu.items) {
      if (!*item.shortcut) continue;
      std::string keys = item.shortcut;
      KeyModifiers m;
      for (size_t plus; (plus = keys.find('+')) != std::string::npos; keys.erase(0, plus + 1))
        (keys.substr(0, plus) == "Ctrl" ? m.ctrl : m.shift) = true;
      const std::optional<Key> k = keyFromName(keys);
      ASSERT_TRUE(k) << item.shortcut;
      const Outcome byMenu = outcome([&](Workstation& w) { runCommand(w, item.code); });
      const Outcome byKeys = outcome([&](Workstation& w) {
        keyDown(w, *k, m);
        keyUp(w, *k, m);
      });
      EXPECT_TRUE(byMenu == byKeys) << item.shortcut << ": " << ::testing::PrintToString(byMenu.shown) << " / "
                                    << ::testing::PrintToString(byKeys.shown) << " " << byMenu.exit << byKeys.exit;
      checked += !byMenu.shown.empty() || byMenu.stage != kStageNone || byMenu.exit;
    }
  EXPECT_GE(checked, 4);  // open acquisition, open exam, options, quit act with nothing open
}

TEST_F(Shell, CinePeriodBounds) {
  open();
  struct Case {
    Key key;
    int before, after;
  };
  const Case cases[] = {{Key::F2, 100, 100}, {Key::F2, 101, 50}, {Key::F3, 1000, 1000}, {Key::F3, 999, 1998}};
  for (const Case& c : cases) {
    ws->w.settings.flow.timer_base = c.before;
    key(c.key);  // the cine is stopped: nothing
    EXPECT_EQ(ws->w.settings.flow.timer_base, c.before);
    key(Key::F1);
    ASSERT_EQ(ws->w.settings.flow.preview_run, 1);
    key(c.key);
    EXPECT_EQ(ws->w.settings.flow.timer_base, c.after) << c.before;
    key(Key::F1);
  }
  // A tick advances the instant, round the cycle; a stage command stops the cine.
  key(Key::F1);
  ws->w.study.instant = 7;
  timerTick(*ws, TimerId::Cine);
  EXPECT_EQ(ws->w.study.instant, 0);
  runCommand(*ws, kCmdReorientation);
  EXPECT_EQ(ws->w.settings.flow.preview_run, 0);
  timerTick(*ws, TimerId::Cine);
  EXPECT_EQ(ws->w.study.instant, 0);
}

// A new segmentation opens the mosaic on the slices holding the ventricles, whatever the screen
// leaves room for; later scrolling is the user's.
TEST_F(Shell, MosaicOpensOnTheVentricles) {
  for (const ScreenSize screen : {ScreenSize{1366, 768}, ScreenSize{1920, 1080}}) {
    platform.screen = screen;
    toSegmentation();
    ASSERT_EQ(stage(), kStageSegmentation);
    const SliceLimits& lim = ws->w.settings.limits;
    const int first = std::min(lim.limG_inf[0], lim.limD_inf[0]), last = std::max(lim.limG_sup[0], lim.limD_sup[0]);
    const int shownFirst = ws->w.study.seg_affmin, shownEnd = shownFirst + ws->mosaic.NcellH * ws->mosaic.NcellV;
    EXPECT_LE(shownFirst, (first + last) / 2) << screen.width;
    EXPECT_GT(shownEnd, (first + last) / 2) << screen.width;
    EXPECT_GE(std::min(shownEnd, last + 1) - std::max(shownFirst, first), std::min(shownEnd - shownFirst, last + 1 - first))
        << screen.width << ": cells " << shownFirst << ".." << shownEnd << ", ventricles " << first << ".." << last;
  }
  // The legend names the colours the mosaic paints: both ventricles' are on the slices shown.
  const std::vector<LegendEntry> legend = segmentationLegend(*ws);
  ASSERT_EQ(legend.size(), 4u);
  EXPECT_EQ(legend[0].label, "Ventricule gauche");
  const Bitmap24& mosaic = *drawView(*ws, View::Segmentation);
  const Study& s = ws->w.study;
  for (const auto& [entry, cls] : {std::pair{legend[0], int{kClassLeft}}, {legend[1], int{kClassRight}}}) {
    int ofClass = 0, other = 0;  // pixels of the legend's colour on voxels of its class, of another
    for (int y = 0; y < mosaic.height; ++y)
      for (int x = 0; x < mosaic.width; ++x) {
        const Rgb c = mosaic.get(x, y);
        const auto v = mosaicVoxelAt(ws->mosaic, s.NCZ, s.seg_affmin, x, y);
        if (!v || c.r != entry.colour.r || c.g != entry.colour.g || c.b != entry.colour.b) continue;
        const size_t i = Study::index(s.NCZ, s.instant, v->slice, v->row, v->col);
        (classEntry(ws->w, ws->seg, s.instant, v->slice, i) == cls ? ofClass : other) += 1;
      }
    EXPECT_GT(ofClass, 20 * std::max(other, 5)) << entry.label << ": " << ofClass << " / " << other;
  }
}

TEST_F(Shell, ExitAsksOnlyToLoseASegmentation) {
  EXPECT_TRUE(requestExit(*ws));
  EXPECT_EQ(platform.count("question"), 0);
  toSegmentation();
  platform.questionAnswers = {QuestionAnswer::Cancel};
  EXPECT_FALSE(requestExit(*ws));
  EXPECT_EQ(platform.last("question")->text, texts::kQuitQuestion.fr);
  EXPECT_EQ(platform.last("question")->title, "");  // the one untitled box
  platform.questionAnswers = {QuestionAnswer::Ok};
  keyDown(*ws, Key::Q, {true, false});
  EXPECT_TRUE(ws->shell.exitRequested);
  ws->shell.exitRequested = false;
  // The File menu's Quit asks the same; leaving removes the session's undo snapshots.
  ASSERT_TRUE(commandEnabled(*ws, kCmdQuit));
  std::ofstream(undoSlotPath(dir, 0)) << "snapshot";
  platform.questionAnswers = {QuestionAnswer::Cancel};
  runCommand(*ws, kCmdQuit);
  EXPECT_FALSE(ws->shell.exitRequested);
  EXPECT_TRUE(std::filesystem::exists(undoSlotPath(dir, 0)));
  platform.questionAnswers = {QuestionAnswer::Ok};
  runCommand(*ws, kCmdQuit);
  EXPECT_TRUE(ws->shell.exitRequested);
  EXPECT_FALSE(std::filesystem::exists(undoSlotPath(dir, 0)));
}

TEST_F(Shell, HelpTextsAndCommandsOfLaterVersions) {
  key(Key::H);
  EXPECT_EQ(platform.last("text:" + std::to_string(static_cast<int>(TextSlot::Help)))->text,
            "Pour ouvrir des données à traiter : CTRL + O\nPour ouvrir un examen Quorvel : SHIFT + O\nPour accéder aux "
            "options : SHIFT + CTRL + P\nPour quitter Quorvel : CTRL + Q\n");
  key(Key::Left);  // any other key hides it
  EXPECT_EQ(platform.last("text:" + std::to_string(static_cast<int>(TextSlot::Help)))->text, "");
  runCommand(*ws, kCmdOpenTemplate);
  EXPECT_EQ(platform.last("information")->text, texts::kOpenDataFirst.fr);
  runCommand(*ws, kCmdExportReprojection);
  EXPECT_EQ(platform.last("information")->text, texts::kNotAvailable.fr);
  // The user's guide: missing, or present with nothing to show it; each says which.
  const auto guide = std::filesystem::path(QUORVEL_TEST_TMP) / "guide.html";
  std::filesystem::remove(guide);
  ws->shell.userGuide = guide;
  for (const auto& [exists, viewer, said] : {std::tuple{false, true, texts::kGuideMissing.fr},
                                            {true, false, texts::kGuideNoViewer.fr}}) {
    if (exists) std::ofstream(guide) << "<html></html>";
    platform.documentViewer = viewer;
    runCommand(*ws, kCmdUserGuide);
    EXPECT_EQ(platform.last("warning")->text, format(said, guide.string().c_str()));
  }
  platform.documentViewer = true;
  const int warnings = platform.count("warning");
  runCommand(*ws, kCmdUserGuide);
  EXPECT_EQ(platform.count("warning"), warnings);
  EXPECT_EQ(platform.last("document")->text, guide.string());
  open();
  ws->w.options.LANGUE = kEnglish;
  key(Key::H);
  const std::string help = platform.last("text:" + std::to_string(static_cast<int>(TextSlot::Help)))->text;
  EXPECT_EQ(help.rfind("HORIZONTAL LONG AXIS VUE\nPlease crop the heart and adjust the septum direction\n", 0), 0u);
  EXPECT_NE(help.find(std::string(45, '_') + "\n"), std::string::npos);
  for (int L : {kFrench, kEnglish}) {  // the options panel has its own
    EXPECT_EQ(helpText(kStageOptions, 0, L).rfind("OPTIONS\n", 0), 0u);
    EXPECT_NE(helpText(kStageOptions, 0, L).find(std::string(45, '_') + "\n"), std::string::npos);
  }
}

// An options file that starts the session in reprojection mode: the title and the menu say so, a
// validated options panel keeps the reprojected results, and the menu leaves the mode, taking the
// study back to its opening once the user agreed.
TEST_F(Shell, ReprojectionModeIsShownAndLeftFromTheMenu) {
  Options reprojecting;
  reprojecting.REPROJ = 1;
  ASSERT_TRUE(SAVE_OPTIONS_FILE(dir, reprojecting));
  startUp(*ws);
  const std::string titleSlot = "text:" + std::to_string(static_cast<int>(TextSlot::WindowTitle));
  auto title = [&] { return platform.last(titleSlot)->text; };
  auto modeItem = [&] {
    for (const Menu& menu : menuBar(*ws))
      for (const MenuItem& item : menu.items)
        if (item.code == kCmdReprojectionMode) return item;
    return MenuItem{0, {}, false};
  };
  EXPECT_EQ(title(), texts::kReprojectionTitle.fr);
  EXPECT_TRUE(modeItem().checkable && modeItem().checked && modeItem().enabled);
  open();
  EXPECT_EQ(title(), ws->w.study.chemin_short + "  " + texts::kReprojectionTitle.fr);
  for (Key k : {Key::Return, Key::Tab, Key::Return, Key::Return, Key::Return}) key(k);
  ASSERT_EQ(stage(), kStageResults);
  const float reprojectedEf = ws->curves.vc.G.FES;
  EXPECT_GT(reprojectedEf, 20.0f);
  runCommand(*ws, kCmdOptions);
  validateOptionsPanel(*ws);
  EXPECT_EQ(stage(), kStageResults);
  EXPECT_EQ(ws->curves.vc.G.FES, reprojectedEf);

  // No labels behind these results: a volume measurement refuses instead of reading them.
  ws->w.options.REPROJ = 0;
  EXPECT_EQ(ws->computeCurves().code(), RefusalCode::SegmentationMissing);
  ws->w.options.REPROJ = 1;

  platform.questionAnswers = {QuestionAnswer::Cancel};
  runCommand(*ws, kCmdReprojectionMode);
  EXPECT_EQ(platform.last("question")->text, texts::kModeLosesWork.fr);
  EXPECT_EQ(ws->w.options.REPROJ, 1);
  EXPECT_EQ(stage(), kStageResults);
  platform.questionAnswers = {QuestionAnswer::Ok};
  runCommand(*ws, kCmdReprojectionMode);
  EXPECT_EQ(ws->w.options.REPROJ, 0);
  EXPECT_EQ(stage(), kStageReorientation);
  EXPECT_EQ(ws->w.settings.flow.segment_done, 0);
  EXPECT_EQ(title(), ws->w.study.chemin_short);
  EXPECT_FALSE(modeItem().checked);
  Options saved;
  ASSERT_EQ(LOAD_OPTIONS(dir, saved), 1);
  EXPECT_EQ(saved.REPROJ, 0);  // the next start is out of the mode too
  for (Key k : {Key::Return, Key::Tab, Key::Return, Key::Return}) key(k);
  EXPECT_EQ(stage(), kStageSegmentation);
  runCommand(*ws, kCmdResults);
  ASSERT_EQ(stage(), kStageResults);
  EXPECT_NEAR(ws->curves.vc.G.FES, 60.0f, 8.0f);

  // Back into the mode: asked again (a segmentation would be lost), nothing open needs no answer.
  platform.questionAnswers = {QuestionAnswer::Ok};
  runCommand(*ws, kCmdReprojectionMode);
  EXPECT_EQ(ws->w.options.REPROJ, 1);
  EXPECT_EQ(stage(), kStageReorientation);
}

TEST_F(Shell, StartUpChecksTheScreenAndTheFolder) {
  platform.screen = {1280, 900};
  startUp(*ws);
  EXPECT_EQ(platform.count("information"), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "Apf"));
  platform.screen = {1024, 768};  // the smallest screen: every stage scrolls into it, no notice
  startUp(*ws);
  EXPECT_EQ(platform.count("information"), 0);
  platform.screen = {1000, 768};
  EXPECT_THROW(startUp(*ws), FatalExit);
  EXPECT_EQ(platform.last("fatal")->text, "1 " + std::string(texts::kScreenTooSmall.fr));
  // A temp/ that is a file: nothing can be written there.
  platform.screen = {1920, 1080};
  std::filesystem::remove_all(dir / "temp");
  std::ofstream(dir / "temp") << "x";
  EXPECT_THROW(startUp(*ws), FatalExit);
  EXPECT_EQ(platform.last("fatal")->text, "1 " + std::string(texts::kNoWriteAccess.fr));
}

}  // namespace
}  // namespace quorvel::testing
