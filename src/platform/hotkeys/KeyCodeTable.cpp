#include "platform/hotkeys/KeyCodeTable.h"

#include <QKeySequence>
#include <QStringList>
#include <X11/X.h>
#include <X11/keysym.h>

namespace KeyCodeTable {
namespace {

struct Entry {
    int code;
    unsigned long keysym;
    int qtKey;
};

// US-layout positions of the historical virtual key codes.
constexpr Entry kTable[] = {
    {0x00, XK_a, Qt::Key_A},          {0x01, XK_s, Qt::Key_S},
    {0x02, XK_d, Qt::Key_D},          {0x03, XK_f, Qt::Key_F},
    {0x04, XK_h, Qt::Key_H},          {0x05, XK_g, Qt::Key_G},
    {0x06, XK_z, Qt::Key_Z},          {0x07, XK_x, Qt::Key_X},
    {0x08, XK_c, Qt::Key_C},          {0x09, XK_v, Qt::Key_V},
    {0x0B, XK_b, Qt::Key_B},          {0x0C, XK_q, Qt::Key_Q},
    {0x0D, XK_w, Qt::Key_W},          {0x0E, XK_e, Qt::Key_E},
    {0x0F, XK_r, Qt::Key_R},          {0x10, XK_y, Qt::Key_Y},
    {0x11, XK_t, Qt::Key_T},          {0x12, XK_1, Qt::Key_1},
    {0x13, XK_2, Qt::Key_2},          {0x14, XK_3, Qt::Key_3},
    {0x15, XK_4, Qt::Key_4},          {0x16, XK_6, Qt::Key_6},
    {0x17, XK_5, Qt::Key_5},          {0x18, XK_equal, Qt::Key_Equal},
    {0x19, XK_9, Qt::Key_9},          {0x1A, XK_7, Qt::Key_7},
    {0x1B, XK_minus, Qt::Key_Minus},  {0x1C, XK_8, Qt::Key_8},
    {0x1D, XK_0, Qt::Key_0},          {0x1E, XK_bracketright, Qt::Key_BracketRight},
    {0x1F, XK_o, Qt::Key_O},          {0x20, XK_u, Qt::Key_U},
    {0x21, XK_bracketleft, Qt::Key_BracketLeft}, {0x22, XK_i, Qt::Key_I},
    {0x23, XK_p, Qt::Key_P},          {0x24, XK_Return, Qt::Key_Return},
    {0x25, XK_l, Qt::Key_L},          {0x26, XK_j, Qt::Key_J},
    {0x27, XK_apostrophe, Qt::Key_Apostrophe}, {0x28, XK_k, Qt::Key_K},
    {0x29, XK_semicolon, Qt::Key_Semicolon},   {0x2A, XK_backslash, Qt::Key_Backslash},
    {0x2B, XK_comma, Qt::Key_Comma},  {0x2C, XK_slash, Qt::Key_Slash},
    {0x2D, XK_n, Qt::Key_N},          {0x2E, XK_m, Qt::Key_M},
    {0x2F, XK_period, Qt::Key_Period}, {0x30, XK_Tab, Qt::Key_Tab},
    {0x31, XK_space, Qt::Key_Space},  {0x32, XK_grave, Qt::Key_QuoteLeft},
    {0x33, XK_BackSpace, Qt::Key_Backspace}, {0x35, XK_Escape, Qt::Key_Escape},
    {0x40, XK_F17, Qt::Key_F17},      {0x41, XK_KP_Decimal, -1},
    {0x43, XK_KP_Multiply, -1},       {0x45, XK_KP_Add, -1},
    {0x47, XK_Clear, Qt::Key_Clear},  {0x4B, XK_KP_Divide, -1},
    {0x4C, XK_KP_Enter, Qt::Key_Enter}, {0x4E, XK_KP_Subtract, -1},
    {0x4F, XK_F18, Qt::Key_F18},      {0x50, XK_F19, Qt::Key_F19},
    {0x51, XK_KP_Equal, -1},          {0x52, XK_KP_0, -1},
    {0x53, XK_KP_1, -1},              {0x54, XK_KP_2, -1},
    {0x55, XK_KP_3, -1},              {0x56, XK_KP_4, -1},
    {0x57, XK_KP_5, -1},              {0x58, XK_KP_6, -1},
    {0x59, XK_KP_7, -1},              {0x5B, XK_KP_8, -1},
    {0x5C, XK_KP_9, -1},              {0x60, XK_F5, Qt::Key_F5},
    {0x61, XK_F6, Qt::Key_F6},        {0x62, XK_F7, Qt::Key_F7},
    {0x63, XK_F3, Qt::Key_F3},        {0x64, XK_F8, Qt::Key_F8},
    {0x65, XK_F9, Qt::Key_F9},        {0x67, XK_F11, Qt::Key_F11},
    {0x69, XK_F13, Qt::Key_F13},      {0x6A, XK_F16, Qt::Key_F16},
    {0x6B, XK_F14, Qt::Key_F14},      {0x6D, XK_F10, Qt::Key_F10},
    {0x6F, XK_F12, Qt::Key_F12},      {0x71, XK_F15, Qt::Key_F15},
    {0x72, XK_Help, Qt::Key_Help},    {0x73, XK_Home, Qt::Key_Home},
    {0x74, XK_Page_Up, Qt::Key_PageUp}, {0x75, XK_Delete, Qt::Key_Delete},
    {0x76, XK_F4, Qt::Key_F4},        {0x77, XK_End, Qt::Key_End},
    {0x78, XK_F2, Qt::Key_F2},        {0x79, XK_Page_Down, Qt::Key_PageDown},
    {0x7A, XK_F1, Qt::Key_F1},        {0x7B, XK_Left, Qt::Key_Left},
    {0x7C, XK_Right, Qt::Key_Right},  {0x7D, XK_Down, Qt::Key_Down},
    {0x7E, XK_Up, Qt::Key_Up},
};

const Entry* byCode(int code) {
    for (const auto& e : kTable)
        if (e.code == code) return &e;
    return nullptr;
}

}  // namespace

unsigned long keysymForCode(int keyCode) {
    const Entry* e = byCode(keyCode);
    return e ? e->keysym : 0;
}

int codeForQtKey(int qtKey) {
    if (qtKey <= 0) return -1;
    for (const auto& e : kTable)
        if (e.qtKey == qtKey) return e.code;
    return -1;
}

int qtKeyForCode(int keyCode) {
    const Entry* e = byCode(keyCode);
    return (e && e->qtKey > 0) ? e->qtKey : 0;
}

unsigned int x11ModifiersForFlags(quint64 flags) {
    unsigned int m = 0;
    if (flags & kShiftFlag) m |= ShiftMask;
    if (flags & kCommandFlag) m |= ControlMask;
    if (flags & kOptionFlag) m |= Mod1Mask;
    if (flags & kControlFlag) m |= Mod4Mask;
    return m;
}

quint64 flagsForX11Modifiers(unsigned int mods) {
    quint64 f = 0;
    if (mods & ShiftMask) f |= kShiftFlag;
    if (mods & ControlMask) f |= kCommandFlag;
    if (mods & Mod1Mask) f |= kOptionFlag;
    if (mods & Mod4Mask) f |= kControlFlag;
    return f;
}

quint64 flagsForQtModifiers(Qt::KeyboardModifiers mods) {
    quint64 f = 0;
    if (mods & Qt::ShiftModifier) f |= kShiftFlag;
    if (mods & Qt::ControlModifier) f |= kCommandFlag;
    if (mods & Qt::AltModifier) f |= kOptionFlag;
    if (mods & Qt::MetaModifier) f |= kControlFlag;
    return f;
}

QString displayText(int keyCode, quint64 flags) {
    QStringList parts;
    if (flags & kControlFlag) parts << QStringLiteral("Super");
    if (flags & kCommandFlag) parts << QStringLiteral("Ctrl");
    if (flags & kOptionFlag) parts << QStringLiteral("Alt");
    if (flags & kShiftFlag) parts << QStringLiteral("Shift");
    const Entry* e = byCode(keyCode);
    if (!e) {
        parts << QStringLiteral("#%1").arg(keyCode);
    } else if (e->qtKey > 0) {
        parts << QKeySequence(e->qtKey).toString(QKeySequence::NativeText);
    } else {
        parts << QStringLiteral("Keypad %1").arg(e->code);
    }
    return parts.join(QLatin1Char('+'));
}

}  // namespace KeyCodeTable
