#pragma once

// The pack options dialog: which parts of the tables the run packs. Made once, so the states the
// user leaves are those of every later run until the program ends; they are kept nowhere else.

#include "pack/PackRun.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace vantero {

class TfrmOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOptions(QWidget* parent = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr; // Pack Graphic Data
    QCheckBox* CheckBox2 = nullptr; // Pack Table Data
    QPushButton* Button1 = nullptr; // OK

    bool PackGraphic() const;
    bool PackData() const;
    PackOptions Options() const { return {PackGraphic(), PackData()}; }

protected:
    void showEvent(QShowEvent* event) override;
};

extern TfrmOptions* frmOptions;

} // namespace vantero
