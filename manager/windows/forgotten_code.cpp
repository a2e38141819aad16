#include "windows/forgotten_code.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "app/icons.h"
#include "app/shell.h"
#include "app/style.h"
#include "widgets/appbar.h"
#include "widgets/tile.h"

namespace kovrad::manager {

TForm8::TForm8(Shell& shell) : CodeChangeForm(shell, false) {
  setObjectName("Form8");
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setWindowState(Qt::WindowMaximized);
  setAutoFillBackground(true);

  Image1 = new ImageButton(DrawIcon(Icon::kBack, 48), this);
  Image1->setObjectName("Image1");
  Image1->setToolTip("Voltar");
  auto* title = new QLabel("Trocar Código de Ativação", this);
  title->setFont(TitleFont(32));

  auto* layout = new QGridLayout(this);
  layout->addWidget(Image1, 0, 0, Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(title, 0, 1, Qt::AlignLeft | Qt::AlignVCenter);
  layout->addWidget(form(), 1, 0, 1, 3, Qt::AlignCenter);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(2, 1);
  layout->setRowMinimumHeight(2, AppBar::kHeight);

  app_bar_ = new AppBar(this, AppBar::Swipe::kUpToggles);
  CloseImage = new ImageButton(DrawIcon(Icon::kExit, 48), app_bar_);
  CloseImage->setObjectName("CloseImage");
  CloseImage->setToolTip("Sair");
  auto* bar = new QHBoxLayout(app_bar_);
  bar->addStretch();
  bar->addWidget(CloseImage);

  connect(Image1, &ImageButton::clicked, this, [this] {
    hide();
    this->shell().windows().Open(Window::kMain);
  });
  connect(CloseImage, &ImageButton::clicked, this, [this] { this->shell().EndProgram(0); });
}

}  // namespace kovrad::manager
