#pragma once
// Report elements for the palette while the report classes are not linked in: plain
// controls under the palette's class names, so insertion, selection, moving and sizing
// can be driven and looked at. Registered only under names nobody else registered.
#include <memory>
#include <string>

#include "framework/Controls.h"
#include "objects/StringList.h"

namespace rpt::uishot {

// A printable element as the design surface shows it: a white box with its caption
// (its name while the caption is empty), and the texts the document window edits.
class TElementStandIn : public TCustomControl {
  RPT_CLASS(TElementStandIn, TCustomControl)
  TElementStandIn();

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value);
  std::string DataField;
  std::string Expression;
  TStringList* Lines() const { return FLines.get(); }
  void SetLines(TStringList* value);

 protected:
  void Paint() override;

 private:
  std::string FCaption;
  std::unique_ptr<TStringList> FLines;
};

// A band: a container strip as wide as it is dragged, its name at the bottom left.
class TBandStandIn : public TCustomPanel {
  RPT_CLASS(TBandStandIn, TCustomPanel)
  TBandStandIn();

 protected:
  void Paint() override;
};

// Registers a stand-in for every palette class that has no class yet; returns the
// names registered.
std::string RegisterMissingPaletteClasses();

}  // namespace rpt::uishot
