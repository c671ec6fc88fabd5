#pragma once

class CAct;

// Where the area stands on the desktop between runs: "PosX", "PosY", "Width", "Hight" and "XY"
// of the settings store's section "Window". The program reads them when it starts and writes them
// when it ends; project files carry their own copy.
namespace AreaGeometryStore {

void load(CAct& area);
void save(const CAct& area);

} // namespace AreaGeometryStore
