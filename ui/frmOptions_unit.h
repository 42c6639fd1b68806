#pragma once

// The pack options dialog: which parts of the tables the run packs.

#include <QDialog>

namespace vantero {

class TfrmOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOptions(QWidget* parent = nullptr);
};

extern TfrmOptions* frmOptions;

} // namespace vantero
