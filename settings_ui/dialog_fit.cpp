#include "settings_ui/dialog_fit.h"

#include <array>
#include <vector>

#include "core/display_scale.h"
#include "settings_ui/dialog_fit_logic.h"
#include "win/dpi_scale.h"

namespace {

struct FitControl {
  HWND Window;
  RECT Place;    // in the dialog's client coordinates
  bool KeepWidth;  // a picture keeps its size and only moves
};

// The width the control's text needs in its own font, as the classic controls draw it; 0 for a
// control without a text to fit (edit boxes, pictures, the slider).
int NeededWidth(HWND control, UINT dpi) {
  std::array<wchar_t, 32> className{};
  GetClassNameW(control, className.data(), static_cast<int>(className.size()));
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  int extra = 0;
  if (CompareStringOrdinal(className.data(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
    switch (style & BS_TYPEMASK) {
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON:
        extra = ScaleToDpi(8, dpi);  // the raised frame and the focus rectangle on both sides
        break;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
      case BS_3STATE:
      case BS_AUTO3STATE:
        extra = ScaleToDpi(13, dpi) + ScaleToDpi(4, dpi);  // the box and the gap after it
        break;
      case BS_GROUPBOX:
        extra = ScaleToDpi(8, dpi) * 2;  // the caption's indent, and as much after it
        break;
      default:
        return 0;
    }
  } else if (CompareStringOrdinal(className.data(), -1, L"Static", -1, TRUE) == CSTR_EQUAL) {
    const LONG type = style & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP) return 0;
  } else {
    return 0;
  }
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return 0;
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1);
  GetWindowTextW(control, text.data(), length + 1);
  HDC dc = GetDC(control);
  if (!dc) return 0;
  const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.data(), length, &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return extent.cx + extra;
}

}  // namespace

void FitDialogTexts(HWND dialog) {
  const UINT dpi = DpiOfWindow(dialog);
  std::vector<FitControl> controls;
  std::vector<TextRoom> rooms;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    const bool picture = (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP;
    controls.push_back(FitControl{child, place, picture});
    rooms.push_back(TextRoom{place.left, place.right, NeededWidth(child, dpi)});
  }
  const std::int32_t stretch = FitStretch(rooms.data(), rooms.size());
  if (stretch == FIT_NO_STRETCH) return;

  for (const FitControl& c : controls) {
    const int left = StretchX(c.Place.left, stretch);
    const int width = c.KeepWidth ? c.Place.right - c.Place.left : StretchX(c.Place.right, stretch) - left;
    SetWindowPos(c.Window, nullptr, left, c.Place.top, width, c.Place.bottom - c.Place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT client{}, frame{};
  GetClientRect(dialog, &client);
  GetWindowRect(dialog, &frame);
  const int grow = StretchX(client.right, stretch) - client.right;
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + grow, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
