#pragma once

// The pack options dialog: which parts of the tables the run packs. Made once, so the states the
// user leaves are those of every later run until the program ends; they are kept nowhere else.

#include "base/PackParts.h"

#include <QDialog>

class QCheckBox;

namespace vantero {

class PackOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit PackOptionsDialog(QWidget* parent = nullptr);

    // The two boxes as the user left them: Pack Graphic Data and Pack Table Data.
    PackParts packParts() const;

protected:
    void showEvent(QShowEvent* event) override;
    // Esc does nothing: the dialog has no Cancel, and closing it goes on with the pack.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QCheckBox* m_graphicCheckBox = nullptr;
    QCheckBox* m_dataCheckBox = nullptr;
};

} // namespace vantero
