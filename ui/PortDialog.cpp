#include "ui/PortDialog.h"

#include "ui/QtText.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

PortDialog::PortDialog(std::function<QWidget*()> parent) : parent_(std::move(parent)) {
    previous_ = port::SetComSelectHook([this](port::TComSelectForm& form) { return Show(form); });
}

PortDialog::~PortDialog() {
    port::SetComSelectHook(std::move(previous_));
}

port::TModalResult PortDialog::Show(port::TComSelectForm& form) {
    QDialog dialog(parent_ ? parent_() : nullptr);
    dialog.setWindowTitle(ToQt(form.Caption()));
    dialog.setMinimumSize(form.GetBounds().width, form.GetBounds().height);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(ToQt(form.Label1.Caption())));
    layout->addWidget(new QLabel(ToQt(form.Label2.Caption())));
    auto* ports = new QComboBox;
    ports->setObjectName("PortsComboBox");
    for (const std::string& item : form.PortsComboBox.Items())
        ports->addItem(ToQt(item));
    ports->setCurrentIndex(form.PortsComboBox.ItemIndex());
    ports->setToolTip(ToQt(form.PortsComboBox.Hint()));
    layout->addWidget(ports);
    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(ToQt(form.OkBtn.Caption()), QDialogButtonBox::AcceptRole);
    buttons->addButton(ToQt(form.CancelBtn.Caption()), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    ok->setEnabled(ports->count() > 0);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (OnShown) OnShown(dialog);
    if (dialog.exec() != QDialog::Accepted) {
        form.CancelBtn.Click();
        return port::mrCancel;
    }
    form.PortsComboBox.Select(ports->currentIndex());
    form.OkBtn.Click();
    return port::mrOk;
}

} // namespace ui
