#pragma once

// The About box, reached from the About menu. Nothing is read from it.

#include <QDialog>

namespace vantero {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

inline constexpr const char* kRightsNotice =
    "Vantero is free to use and to pass on; it comes with no warranty, so keep a copy of your "
    "tables before you pack them.";

} // namespace vantero
