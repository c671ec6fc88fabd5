#include "StringTableData.h"

#include <array>

namespace {

// The filter patterns of Add File, shared by both text sets.
#define TS_PICTURES "*.bmp;*.jpg;*.gif;*.wmf;*.ico;*.pcx"
#define TS_PICTURE_NAMES "(*.bmp,*.jpg,*.gif,*.wmf,*.ico,*.pcx)"
// Entries beyond the list's own: what the program plays besides.
#define TS_OFFICE "*.doc;*.docx;*.odt;*.xls;*.xlsx;*.ods;*.rtf"
#define TS_MORE_PICTURES "*.png;*.jpeg;" TS_PICTURES

constexpr std::array kEntries = std::to_array<StringTableEntry>({
    {StringId::AboutBox, "About Tessarin(&A)...", "关于 Tessarin(&A)..."},
    {StringId::NoMemory, "No Memory!", "内存不足！"},
    {StringId::FitModes, "center\nzoom\nstretch\nTile", "居中\n缩放\n拉伸\n平铺"},
    {StringId::Effects,
     "random\nturning page\nleft cover\nright cover\nup cover\ndown cover\nhorizontal wave\n"
     "vertical wave\nopen from vertical middle\nopen from herizontal middle\n"
     "close to vertical middle\nclose to horizontal middle\nmove up\nmove down\nmove left\n"
     "move right\n"
     // 16-50, the clearing list's names in the order of the effects' numbers.
     "left top corner cover1\nright top corner cover1\nleft down corner cover1\n"
     "right down corner cover1\nleft top corner cover2\nright top corner cover2\n"
     "left down corner cover2\nright down corner cover2\n"
     "move left top corner\nmove right top corner\nmove left down corner\n"
     "move right down corner\nmosaic(S)\nmosaic(M)\nmosaic(L)\ngradual change\n"
     "left turn(360)\nright turn(360)\nleft turn(180)\nright turn(180)\nleft turn(90)\n"
     "right turn(90)\ngrowing big(center)\ngrowing big(left top corner)\n"
     "growing big(right top corner)\ngrowing big(left down corner)\n"
     "growing big(right down corner)\nradiation1(rectangle)\nradiation2(rectangle)\n"
     "radiation1(diamond)\nradiation2(diamond)\nradiation1(cross)\nradiation2(cross)\n"
     "radiation1(circle)\nradiation2(circle)",
     "随机\n翻页\n左覆盖\n右覆盖\n上覆盖\n下覆盖\n水平百叶\n垂直百叶\n左右对开\n上下对开\n"
     "左右闭合\n上下闭合\n上移\n下移\n左移\n右移\n"
     "左上角覆盖1\n右上角覆盖1\n左下角覆盖1\n右下角覆盖1\n"
     "左上角覆盖2\n右上角覆盖2\n左下角覆盖2\n右下角覆盖2\n"
     "左上移\n右上移\n左下移\n右下移\n"
     "马赛克(小)\n马赛克(中)\n马赛克(大)\n渐变\n"
     "左旋(360)\n右旋(360)\n左旋(180)\n右旋(180)\n左旋(90)\n右旋(90)\n"
     "中心放大\n左上角放大\n右上角放大\n左下角放大\n右下角放大\n"
     "放射1(矩形)\n放射2(矩形)\n放射1(菱形)\n放射2(菱形)\n放射1(十字)\n放射2(十字)\n"
     "放射1(圆形)\n放射2(圆形)"},
    {StringId::TextStyles, "none\noutward\n3D\nsculpture", "无\n描边\n立体\n浮雕"},
    {StringId::ClearEffects,
     "random\nnon-clear\nfast clear\nleft cover\nright cover\nup cover\ndown cover\n"
     "left top corner cover1\nright top corner cover1\nleft down corner cover1\n"
     "right down corner cover1\nleft top corner cover2\nright top corner cover2\n"
     "left down corner cover2\nright down corner cover2\nhorizontal wave\nvertical wave\n"
     "open from vertical middle\nopen from horizontal middle\nclose to vertical middle\n"
     "close to horizontal middle\nmove up\nmove down\nmove left\nmove right\n"
     "move left top corner\nmove right top corner\nmover left down corner\n"
     "move right down corner\nmosaic(S)\nmosaic(M)\nmosaic(L)\ngradual change\n"
     "left turn(360)\nright turn(360)\nleft turn(180)\nright turn(180)\nleft turn(90)\n"
     "right turn(90)\ngrowing big(center)\ngrowing big(left top corner)\n"
     "growing big(right top corner)\ngrowing big(left down corner)\n"
     "growing big(right down corner)\nradiation1(rectangle)\nradiation2(rectangle)\n"
     "radiation1(diamond)\nradiation2(diamon)\nradiation1(cross)\nradiation2(cross)\n"
     "radiation1(circle)\nradiation2(circle)",
     "随机\n不清除\n快速清除\n左覆盖\n右覆盖\n上覆盖\n下覆盖\n"
     "左上角覆盖1\n右上角覆盖1\n左下角覆盖1\n右下角覆盖1\n"
     "左上角覆盖2\n右上角覆盖2\n左下角覆盖2\n右下角覆盖2\n"
     "水平百叶\n垂直百叶\n左右对开\n上下对开\n左右闭合\n上下闭合\n"
     "上移\n下移\n左移\n右移\n左上移\n右上移\n左下移\n右下移\n"
     "马赛克(小)\n马赛克(中)\n马赛克(大)\n渐变\n"
     "左旋(360)\n右旋(360)\n左旋(180)\n右旋(180)\n左旋(90)\n右旋(90)\n"
     "中心放大\n左上角放大\n右上角放大\n左下角放大\n右下角放大\n"
     "放射1(矩形)\n放射2(矩形)\n放射1(菱形)\n放射2(菱形)\n放射1(十字)\n放射2(十字)\n"
     "放射1(圆形)\n放射2(圆形)"},
    {StringId::GifFitModes, "Center\nZoom\nStretch", "居中\n缩放\n拉伸"},
    {StringId::TipSave, "Save", "保存"},
    {StringId::TipOpen, "Open", "打开"},
    {StringId::TipNew, "New", "新建"},
    {StringId::TipStop, "Stop", "停止"},
    {StringId::TipPlay, "Play", "播放"},
    {StringId::TipPause, "Pause", "暂停"},
    {StringId::TipHidePlayWindow, "Hide play window", "隐藏播放窗"},
    {StringId::TipEnableEdit, "Enable Edit", "允许编辑"},
    {StringId::TipAddFile, "Add File", "增加文件"},
    {StringId::TipDeleteFile, "Delete File", "删除文件"},
    {StringId::TipMoveUpFile, "Move Up File", "上移文件"},
    {StringId::TipMoveDownFile, "Move Down File", "下移文件"},
    {StringId::AskSaveCurrent, "Save Current File?", "保存当前文件吗？"},
    {StringId::AskReplaceCurrent, "Replace Current File?", "替换当前文件吗？"},
    {StringId::TipShowPlayWindow, "Show play window", "显示播放窗"},
    {StringId::TipDisableEdit, "Disable Edit", "禁止编辑"},
    {StringId::AddFileFilter,
     "All Files|*.txt;*.rtf;" TS_PICTURES "|Text File(*.txt)|*.txt|RTF File(*.rtf)|*.rtf|"
     "Image File" TS_PICTURE_NAMES "|" TS_PICTURES "|"
     "Documents and Spreadsheets|" TS_OFFICE "|Pictures|" TS_MORE_PICTURES "|All Files (*)|*||",
     "所有能播放文件|*.txt;*.rtf;" TS_PICTURES "|文本文件(*.txt)|*.txt|RTF文件(*.rtf)|*.rtf|"
     "图片文件" TS_PICTURE_NAMES "|" TS_PICTURES "|"
     "文档和电子表格|" TS_OFFICE "|图片|" TS_MORE_PICTURES "|所有文件 (*)|*||"},
    {StringId::TipBrowse, "Browse...", "浏览..."},
    {StringId::TipPreview, "Preview", "预览"},
    {StringId::TipPlaySound, "Play sound", "播放声音"},
    {StringId::TipPreviewText, "Preview current text", "预览当前文本"},
    {StringId::TipBold, "Bold", "粗体"},
    {StringId::TipItalic, "Italic", "斜体"},
    {StringId::TipUnderline, "Underline", "下画线"},
    {StringId::TipLeftJustify, "Left Justify", "靠左"},
    {StringId::TipCenterJustify, "Center Justify", "居中"},
    {StringId::TipRightJustify, "Right Justify", "靠右"},
    {StringId::TipVerticalJustify, "Vertical Justify", "垂直居中"},
    {StringId::FrameStyles, "None\nSingle Line\nDouble Line\nThree Line", "无\n单线\n双线\n三线"},

    // The settings dialog's range messages are Chinese in both sets.
    {StringId::RangePos, "输入0－－10000之间的数值！", "输入0－－10000之间的数值！"},
    {StringId::RangeLength, "输入1－－10000之间的数值！", "输入1－－10000之间的数值！"},
    {StringId::RangeNum, "输入1－－10之间的数值！", "输入1－－10之间的数值！"},

    // The framework's own resources are the Chinese ones in both sets.
    {StringId::InvalidFileName, "文件名不正确。", "文件名不正确。"},
    {StringId::OpenDocumentFailed, "打开文档失败。", "打开文档失败。"},
    {StringId::SaveDocumentFailed, "保存文档失败。", "保存文档失败。"},
    {StringId::ArchiveGeneric, "访问 %1 时发生意外错误。", "访问 %1 时发生意外错误。"},
    {StringId::ArchiveEndOfFile, "试图访问 %1 时超过它的结尾。", "试图访问 %1 时超过它的结尾。"},
    {StringId::ArchiveBadIndex, "%1 格式错误。", "%1 格式错误。"},
    {StringId::ArchiveBadClass, "%1 包含意外的对象。", "%1 包含意外的对象。"},
    {StringId::ArchiveBadSchema, "%1 包含错误的架构。", "%1 包含错误的架构。"},
    {StringId::FileGeneric, "访问 %1 时发生意外错误。", "访问 %1 时发生意外错误。"},
    {StringId::FileNotFound, "未找到 %1。", "未找到 %1。"},
    {StringId::FileBadPath, "%1 包含无效路径。", "%1 包含无效路径。"},
    {StringId::FileTooManyOpen, "无法打开 %1，因为打开的文件太多。",
     "无法打开 %1，因为打开的文件太多。"},
    {StringId::FileAccessDenied, "拒绝访问 %1。", "拒绝访问 %1。"},
    {StringId::FileHardIo, "访问 %1 时发生硬件 I/O 错误。", "访问 %1 时发生硬件 I/O 错误。"},
    {StringId::FileDiskFull, "访问 %1 时磁盘已满。", "访问 %1 时磁盘已满。"},
    {StringId::OutOfMemory, "内存不足。", "内存不足。"},
});

#undef TS_PICTURES
#undef TS_PICTURE_NAMES

} // namespace

std::span<const StringTableEntry> stringTableEntries()
{
    return kEntries;
}
