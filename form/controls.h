// The controls of the counting window, declared once: every widget, its
// colours, its font and its place are built from this table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "control_names.h"

namespace pesolane {

// The boxes that take a weight, which F9 can read from the scale, and the
// step button whose press reads each.
struct WeightBox {
    Ctl box;
    Ctl step;  // the step that reads it
    Ctl next;  // the button that step shows once it accepts the weight
};
inline constexpr std::array<WeightBox, 3> kWeightBoxes{{
    {Ctl::TxtPoidsTotal, Ctl::Cmd1, Ctl::Cmd2},
    {Ctl::TxtPoidsReel1er, Ctl::Cmd2, Ctl::Cmd3},
    {Ctl::TxtPoidsReel2eme, Ctl::Cmd5, Ctl::Cmd6},
}};

enum class Kind : std::uint8_t { Label, TextBox, Button, Line };

enum class Role : std::uint8_t {
    InputCaption, ResultCaption, SignLabel, ErrorLabel, InputBox, ResultBox, FinalResultBox,
    StepButton, QuitButton, SeparatorLine,
};

inline constexpr std::size_t kRoleCount = 10;

struct Rect {
    int x, y, w, h;
};

struct ControlSpec {
    Ctl id;
    std::string_view name;     // as the operator's tools (and accessibility) see it
    Kind kind;
    Role role;
    std::string_view caption;  // UTF-8, blanks exactly as shown
    Rect rect;                 // a line's rectangle is the one pixel wide run between its end points
    int tab;                   // keyboard order; -1 for lines
    bool atStart;              // visible when the window opens
    std::string_view spoken;   // a text box's or a button's name for a screen reader, written for the ear
    std::string_view opens = {};  // a step button's: what is said when a press shows it
};

// Colours are 0xRRGGBB; sizes are pixels at 96 dots per inch.
struct RoleStyle {
    std::uint32_t back;
    std::uint32_t text;
    int pixelSize;
    bool bold;
};

// A caption label and the box it names.
struct CaptionOf {
    Ctl label;
    Ctl box;
};

const std::array<ControlSpec, kControlCount>& controlTable();
const std::array<CaptionOf, 18>& captionTable();
const ControlSpec& controlOf(Ctl id);
const RoleStyle& styleOf(Role role);

inline constexpr std::size_t index(Ctl id) { return static_cast<std::size_t>(id); }

inline constexpr int kClientWidth = 736;
inline constexpr int kClientHeight = 630;
inline constexpr std::uint32_t kWindowBack = 0x404040;

}  // namespace pesolane
