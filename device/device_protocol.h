// Bytes that cross the controller's device handle.
#pragma once

#include <array>
#include <cstdint>

// Device interface class that the controller's driver registers:
// {B1B46D01-F5FE-428A-B21B-2D91557DDF75}.
struct InterfaceGuid {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
constexpr InterfaceGuid ControllerInterfaceGuid = {
    0xB1B46D01, 0xF5FE, 0x428A, {0xB2, 0x1B, 0x2D, 0x91, 0x55, 0x7D, 0xDF, 0x75}};

// DeviceEvent bits, read one byte at a time.
constexpr std::uint8_t EVENT_LEFT_CLICK = 0x01;
constexpr std::uint8_t EVENT_RIGHT_CLICK = 0x02;

constexpr std::uint8_t COMMAND_SETUP = 0x00;
constexpr std::uint8_t COMMAND_BUTTON = 0x01;

using SetupCommand = std::array<std::uint8_t, 4>;
using ButtonCommand = std::array<std::uint8_t, 2>;

// 00, hold-still flag, WaitTime's low 16 bits little-endian.
SetupCommand BuildSetupCommand(std::uint32_t buttonSetup, std::int32_t waitTime);

// 01, armed flag.
ButtonCommand BuildButtonCommand(bool buttonActive);

// What one event byte asks for under the feature word in force.
enum class EventAction {
  None,        // no event, an unknown bit, or a left click while the click sound is off
  LeftClick,   // play the click cue; nothing else
  RightClick,  // indicator, once-only disarm, right-click cue (each by its own bit)
};
EventAction DecideEventAction(std::uint8_t eventByte, std::uint32_t buttonSetup);
