#include "frmFlashTools.h"

#include "unTools.h"

TFlashTools::TFlashTools() {
  Name = "FlashTools";
  Caption = "FlashTools";
  BorderStyle = platform::TBorderStyle::None;
  Position = platform::TPosition::ScreenCenter;
  ClientWidth = 306;
  ClientHeight = 206;
  FontName = "MS Sans Serif";
  FontHeight = 11;

  auto place = [this](platform::TControl& c, const char* name, int left, int top, int width,
                      int height) {
    c.Name = name;
    c.Left = left;
    c.Top = top;
    c.Width = width;
    c.Height = height;
    Controls.push_back(&c);
  };
  place(Image1, "Image1", 0, 0, 307, 207);
  Image1.Picture = "splash.jpg";

  place(lbView, "lbView", 16, 152, 189, 15);
  lbView.Caption = "系统正在初始化，请稍候...";
  lbView.FontName = "宋体";
  lbView.FontHeight = 15;
  lbView.FontColor = platform::clWhite;
  lbView.Transparent = true;

  place(Label1, "Label1", 200, 24, 60, 15);
  Label1.Caption = "Brantel软件";
  Label1.FontName = "宋体";
  Label1.FontHeight = 15;
  Label1.FontColor = platform::clAqua;
  Label1.Transparent = true;

  place(ProgramIcon, "ProgramIcon", 264, 8, 33, 33);
  ProgramIcon.Picture = "upvrek-32.png";
  ProgramIcon.Stretch = true;

  FormCreate(this);
}

void TFlashTools::FormCreate(platform::TObject*) { lbView.Caption = ConnectMessage; }
