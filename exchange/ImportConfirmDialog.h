#pragma once

#include "ContactFileImport.h"
#include "ContactImport.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ImportConfirmDialog;
}

namespace exchange {

// Asks once, before anything is stored: how many contacts the files hold,
// how many look like contacts already stored, and what to do with those
// (skip them, fill their empty fields, add them as new). Also names what
// cannot be imported. OK is "Import".
class ImportConfirmDialog : public QDialog {
    Q_OBJECT

public:
    explicit ImportConfirmDialog(const ImportSurvey &survey, QWidget *parent = nullptr);
    ~ImportConfirmDialog() override;

    DuplicatePolicy policy() const;

private:
    std::unique_ptr<Ui::ImportConfirmDialog> ui;
};

} // namespace exchange
