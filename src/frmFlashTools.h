// The splash window: a borderless picture with the start-up message and the maker's name, on the
// screen only while the database connection is being made.
#pragma once

#include "platform/gui.h"

class TFlashTools : public platform::TForm {
 public:
  TFlashTools();

  platform::TImage Image1;
  platform::TLabel lbView;
  platform::TLabel Label1;
  platform::TImage ProgramIcon;

  // Takes over the current start-up message (ConnectMessage); it is not updated later.
  void FormCreate(platform::TObject* Sender);
};
