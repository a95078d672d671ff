#include "About.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "AppImages.h"
#include "osVersion.h"
#include "rtlFormat.h"

namespace {

constexpr const char* VersionKeys[5] = {"FileDescription", "FileVersion", "LegalCopyright", "CompanyName",
                                        "LegalTrademarks"};
constexpr const char* MakerPage = "https://www.morvane.example/";

}  // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
  setWindowTitle(tr("About"));
  setModal(true);
  auto* box = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setObjectName("icon");
  // As many pixels as the screen has for the icon's 32 units.
  icon->setPixmap(ProgramIcon().pixmap(QSize(32, 32), icon->devicePixelRatio()));
  box->addWidget(icon);
  for (int i = 0; i < 5; ++i) {
    Labels[i] = new QLabel(QString::fromLatin1(VersionKeys[i]), this);
    const std::optional<std::string> value =
        QueryVersionValue(std::string("\\\\StringFileInfo\\\\040904e4\\\\") + VersionKeys[i]);
    if (value) {
      const std::string text = i == 1 ? Format("Version %s", {*value}) : *value;
      Labels[i]->setText(QString::fromStdString(text));
    }
    box->addWidget(Labels[i]);
  }
  // The legal notice leads to the maker's page.
  Labels[2]->setCursor(Qt::PointingHandCursor);
  connect(Labels[2], &QLabel::linkActivated, this, [] { QDesktopServices::openUrl(QUrl(MakerPage)); });
  Labels[2]->setText(QString("<a href=\"%1\">%2</a>").arg(MakerPage, Labels[2]->text().toHtmlEscaped()));
}
