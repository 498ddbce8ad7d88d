#pragma once
// The picture a front end shows for a view, rebuilt from the workstation's state when it paints
// ("setters that notify, views that pull").
#include <string>
#include <vector>

#include "base/bitmap.h"
#include "base/platform.h"
#include "ui/workstation.h"

namespace quorvel {

// Rebuilds the picture of view and returns it; nothing for a view without a picture.
// The brush rings follow the shell's last pointer position, in the pixels of the view drawn.
const Bitmap24* drawView(Workstation& ws, View view);

// The picture of view as PNG: empty when written, else why not.
std::string writeViewPicture(Workstation& ws, View view, const std::string& path);

// The view that shows the current stage.
View stageView(const Workstation& ws);
// The caption under a view ("Instant : 1 / 8 ..."); empty for the views without one.
std::string viewCaption(const Workstation& ws, View view);
// The segmentation mosaic's legend: each class colour of its class panel and outlines, named.
struct LegendEntry {
  Rgb colour;
  std::string label;
};
std::vector<LegendEntry> segmentationLegend(const Workstation& ws);
// The preview's shading and mesh settings the held-key arrows change.
std::string previewSettingsCaption(const Workstation& ws);

}  // namespace quorvel
