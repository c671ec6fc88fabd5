#pragma once

#include <QDialog>

#include <functional>

class CAct;
struct AreaSettings;
class CColorBtn;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class UserPrompts;

// The settings dialog: LED size, split, sections, frame, colours, manual play, auto play and the
// language. Every change goes into the area at once and the section windows follow; there is no
// OK or Cancel.
class CDlgSeting : public QDialog
{
    Q_OBJECT

public:
    CDlgSeting(CAct& area, UserPrompts& prompts, QWidget* parent = nullptr);

    // 1 (Chinese) or 3 (English) when a language was chosen (the program then restarts), else 0.
    int languageChosen() const { return m_language; }
    void chooseLanguage(int value);

    // The change handlers, as the controls call them.
    void onSplitClicked(int splitMode);
    void onFrameStyle(int index);
    void onFrameColor();
    void onBackColor();
    void onWidthEdited(const QString& typed);
    void onHeightEdited(const QString& typed);
    void onManualPlay(bool on);
    void onAutoPlay(bool on);
    void onPosEdited(const QString& text);
    void onNumEdited(const QString& text);
    void onSectionChosen(int index);
    void onLengthEdited(const QString& text);
    void onSectionPosEdited(const QString& text);

    // The fleet settings were changed while the dialog was open: the fleet client must start
    // again with them.
    bool fleetChanged() const { return m_fleetChanged; }

signals:
    // The project's data changed (LED size, split, sections, frame, colours, manual play): the
    // project must be saved to keep it. Auto play and the language are settings, not project data.
    void projectChanged();
    // The remote control settings changed (and are kept).
    void remoteChanged();

private:
    // Applies a change of project data while no player reads it, lays the sections out again
    // and tells that the project changed.
    void change(const std::function<void(AreaSettings&)>& apply);
    void buildWindow();
    // The group of the fleet's broker settings (the store's group "Mqtt", read by the fleet).
    QWidget* buildFleetGroup();
    void loadFleet();
    void storeFleet();
    void loadValues();
    void fillSectionList(int count);
    void updateSizeEdits();
    // A number typed into an edit that must lie in [low, high]: false (and the message, and the
    // edit shows `previous` again) when it does not. An empty edit is not applied.
    bool acceptNumber(QLineEdit* edit, const QString& text, int previous, int low, int high,
                      int messageId, int& value);

    CAct& m_area;
    UserPrompts& m_prompts;
    int m_language = 0;

    QComboBox* m_frame = nullptr;
    CColorBtn* m_frameColor = nullptr;
    CColorBtn* m_backColor = nullptr;
    QRadioButton* m_horizontal = nullptr;
    QRadioButton* m_vertical = nullptr;
    QLineEdit* m_pos = nullptr;
    QLineEdit* m_num = nullptr;
    QComboBox* m_section = nullptr;
    QLineEdit* m_length = nullptr;
    QLineEdit* m_sectionPos = nullptr;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_height = nullptr;
    QCheckBox* m_manual = nullptr;
    QCheckBox* m_autoPlay = nullptr;
    QCheckBox* m_blankOnStop = nullptr; // [Tessarin] BlankOnStop
    QPushButton* m_languageButton = nullptr;
    QMenu* m_languageMenu = nullptr;

    QCheckBox* m_fleetEnabled = nullptr;
    QCheckBox* m_fleetTls = nullptr;
    QLineEdit* m_fleetHost = nullptr;
    QLineEdit* m_fleetPort = nullptr;
    QLineEdit* m_fleetUser = nullptr;
    QLineEdit* m_fleetPassword = nullptr;
    QLineEdit* m_fleetName = nullptr;
    QLineEdit* m_fleetPrefix = nullptr;
    QLineEdit* m_fleetCaFile = nullptr;
    QLineEdit* m_fleetCertFile = nullptr;
    QLineEdit* m_fleetKeyFile = nullptr;
    QLineEdit* m_syncGroup = nullptr;
    QComboBox* m_syncRole = nullptr;
    bool m_fleetChanged = false;

    // The values the edits held before the current keystroke.
    int m_posValue = 0;
    int m_numValue = 0;
    int m_lengthValue = 0;
    int m_sectionPosValue = 0;
};
