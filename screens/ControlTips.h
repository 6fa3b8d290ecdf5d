// The contents screen's control tips: which explanation the yellow tip label
// shows for a position of the mouse pointer.
//
// Eight controls have a zone: a rectangle around the control that reaches
// three pixels beyond it on the left and at the top and two on the right and
// at the bottom.  The window sees pointer movement only off its controls, so
// the tip changes as the pointer crosses that margin on its way onto a
// control and stays while it rests there.  Zones are tested in a fixed order
// and the first that holds the point wins.  Everything here is in twips.
#pragma once

#include <array>
#include <optional>

#include "database/SharedState.h"

namespace ondrel {

// The zones in the order they are tested.
enum class TipZoneId { Tips, FileTxt, FilePos, ChooseFile, Exit, CopyToClipboard, Print, Enter };
inline constexpr int kTipZoneCount = 8;

struct TipZone {
  float Left = 0, Right = 0, Top = 0, Bottom = 0;
};

struct TwipsRect {
  Long Left = 0, Top = 0, Width = 0, Height = 0;
};

using TipZones = std::array<TipZone, kTipZoneCount>;

// The zone of a control, with the screen's twips per pixel each way.
TipZone ZoneOf(const TwipsRect& control, Integer twipsPerPixelX, Integer twipsPerPixelY);

// The first zone that holds the point, edges included; none when no zone
// does.
std::optional<TipZoneId> ZoneAt(const TipZones& zones, float x, float y);

// The zones whose control may be hidden, in which case pointer movement over
// them leaves the tip as it is.
bool ZoneOfHideableControl(TipZoneId zone);

// The explanation shown for each zone's control.  The Tips switch's own ends
// with a line that names the keys.
const char* TipText(TipZoneId zone);

// The keys the contents screen takes, one a line: the key as Qt writes it,
// a colon, and what it does.  F1 shows them.
const char* KeysText();

}  // namespace ondrel
