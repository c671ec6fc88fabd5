#pragma once

// The control window's buttons, by the ids their object names carry (tests find them so).
enum ControlId
{
    IdNew = 1057,
    IdOpen = 1005,
    IdSave = 1009,
    IdShowHide = 1098,
    IdEdit = 1020,
    IdSettings = 1058,
    IdPlay = 1141,
    IdPause = 1137,
    IdStop = 1011,
    IdAddFile = 1062,
    IdDeleteFile = 1012,
    IdMoveUp = 1064,
    IdMoveDown = 1065,
    IdAddClock = 1303,
    IdPreview = 1304,
};
