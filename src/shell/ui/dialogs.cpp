#include "shell/ui/dialogs.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "shell/ui/apply_locale.h"

namespace kd {

TOkCancelDlg::TOkCancelDlg(const TMirelLang* lang, QWidget* parent) : QDialog(parent) {
    setObjectName("OkCancelDlg");
    setWindowTitle("Confirmation");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    Label1->setMinimumWidth(300);
    v->addWidget(Label1);
    auto* h = new QHBoxLayout();
    h->addStretch();
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    h->addWidget(OKButton);
    h->addWidget(CancelButton);
    v->addLayout(h);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    if (lang) ApplyLocale(this, *lang);
}

TParamWriteDlg::TParamWriteDlg(const TMirelLang* lang, QWidget* parent) : QDialog(parent) {
    setObjectName("ParamWriteDlg");
    setWindowTitle("Write Param");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setMinimumWidth(300);
    v->addWidget(Label1);
    auto* h = new QHBoxLayout();
    h->addStretch();
    YesButton = new QPushButton("&Yes", this);
    YesButton->setObjectName("YesButton");
    YesButton->setDefault(true);
    NoButton = new QPushButton("&No", this);
    NoButton->setObjectName("NoButton");
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    h->addWidget(YesButton);
    h->addWidget(NoButton);
    h->addWidget(CancelButton);
    v->addLayout(h);
    connect(YesButton, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(NoButton, &QPushButton::clicked, this, [this] { done(No); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(Cancelled); });
    if (lang) ApplyLocale(this, *lang);
}

}  // namespace kd
