#include "device/device_protocol.h"

#include "core/app_state.h"

SetupCommand BuildSetupCommand(std::uint32_t buttonSetup, std::int32_t waitTime) {
  const auto wait = static_cast<std::uint16_t>(static_cast<std::uint32_t>(waitTime) & 0xFFFFu);
  return {COMMAND_SETUP, static_cast<std::uint8_t>((buttonSetup & SETUP_HOLD_STILL) ? 1 : 0),
          static_cast<std::uint8_t>(wait & 0xFF), static_cast<std::uint8_t>(wait >> 8)};
}

ButtonCommand BuildButtonCommand(bool buttonActive) {
  return {COMMAND_BUTTON, static_cast<std::uint8_t>(buttonActive ? 1 : 0)};
}

EventAction DecideEventAction(std::uint8_t eventByte, std::uint32_t buttonSetup) {
  // A byte with both bits is a left click while the click sound is on, a right click otherwise.
  if ((eventByte & EVENT_LEFT_CLICK) && (buttonSetup & SETUP_LEFT_SOUND)) return EventAction::LeftClick;
  if (eventByte & EVENT_RIGHT_CLICK) return EventAction::RightClick;
  return EventAction::None;
}
