#pragma once

// Pins the default face "宋体" (SimSun) to the installed CJK face with its metrics, so that text
// lays out the same on every machine. Needs a QGuiApplication.
namespace Fonts {

inline constexpr char kPinnedFamily[] = "AR PL SungtiL GB";

void pinDefaultFaces();

} // namespace Fonts
