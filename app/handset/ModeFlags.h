// The bits of the handset object's modeFlags: what the handset is doing and
// which LCD transfer it waits for. The Skype link sets some of them, so this
// header stands alone.
#pragma once

// The text to transfer is a notice, not a list entry.
inline constexpr unsigned int kModeNotice = 0x0001;
// Link start sent; the handset's link answer is awaited.
inline constexpr unsigned int kModeLinkStarted = 0x0002;
// Transfer as plain characters, drawn by the handset's own font.
inline constexpr unsigned int kModePlainText = 0x0010;
// Transfer as font codes prepared by the font component.
inline constexpr unsigned int kModeFontCodes = 0x0020;
// The handset browses the contact list.
inline constexpr unsigned int kModeContactList = 0x0400;
// The handset browses the call list.
inline constexpr unsigned int kModeCallList = 0x0800;
// The call timer text waits to be transferred.
inline constexpr unsigned int kModeCallTimer = 0x2000;
