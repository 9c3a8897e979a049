// windows.h first: the other Windows headers rely on what it defines.
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "platform/win32_gui.h"
#include "text/wide.h"

namespace platform {

namespace {

constexpr wchar_t kFormClass[] = L"VrekForm";
constexpr wchar_t kApplicationClass[] = L"VrekApplication";
constexpr int kFirstButtonId = 100;

// Text for the screen: lossy, so that a stray byte shows as U+FFFD rather than failing a window.
std::wstring Wide(std::string_view utf8) { return text::Utf8ToWide(utf8, text::Mode::kLossy); }

COLORREF ToColorRef(TColor c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

// Chinese face names ("宋体") are GB2312 fonts; the others take the system's default set.
BYTE CharsetOf(const std::string& face) {
  for (unsigned char ch : face)
    if (ch >= 0x80) return GB2312_CHARSET;
  return DEFAULT_CHARSET;
}

// A decoded picture as a premultiplied 32-bit top-down DIB section.
struct Picture {
  HBITMAP bitmap = nullptr;
  int width = 0, height = 0;
};

template <class T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

}  // namespace

struct FormWindow {
  Win32Gui::Impl* gui = nullptr;
  TForm* form = nullptr;
  HWND hwnd = nullptr;
  HFONT font = nullptr;
  std::map<int, TButton*> buttons;  // by control id
  std::map<TButton*, HWND> button_windows;
};

struct Win32Gui::Impl {
  HINSTANCE instance = nullptr;
  int dpi = 96;
  bool com = false;
  HWND application_window = nullptr;
  std::wstring title;
  TApplication* application = nullptr;
  TForm* loop_form = nullptr;
  std::map<TForm*, std::unique_ptr<FormWindow>> forms;
  std::vector<TForm*> shown_order;  // the last one is on top
  std::map<std::pair<std::string, int>, HFONT> fonts;
  std::map<std::string, Picture> pictures;

  int S(int pixels) const { return MulDiv(pixels, dpi, 96); }

  HFONT Font(const std::string& face, int height) {
    auto key = std::make_pair(face, height);
    if (auto it = fonts.find(key); it != fonts.end()) return it->second;
    // A negative height asks for the character height, as the forms state their fonts.
    HFONT f = CreateFontW(-S(height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, CharsetOf(face),
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, Wide(face).c_str());
    fonts[key] = f;
    return f;
  }

  const Picture* LoadPicture(const std::string& name) {
    if (auto it = pictures.find(name); it != pictures.end())
      return it->second.bitmap ? &it->second : nullptr;
    Picture& pic = pictures[name];
    std::string resource = name;
    for (char& c : resource) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    HRSRC info = FindResourceW(instance, Wide(resource).c_str(), MAKEINTRESOURCEW(10));
    HGLOBAL data = info ? LoadResource(instance, info) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) return nullptr;
    if (!com) com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> converted;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)),
                                            SizeofResource(instance, info))) ||
        FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand,
                                                &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.p, &converted)))
      return nullptr;
    UINT w = 0, h = 0;
    converted->GetSize(&w, &h);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = static_cast<LONG>(w);
    bi.bmiHeader.biHeight = -static_cast<LONG>(h);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    if (FAILED(converted->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits)))) {
      DeleteObject(bitmap);
      return nullptr;
    }
    pic = {bitmap, static_cast<int>(w), static_cast<int>(h)};
    return &pic;
  }

  FormWindow* Find(TForm& form) {
    auto it = forms.find(&form);
    return it == forms.end() ? nullptr : it->second.get();
  }

  void EnsureApplicationWindow() {
    std::wstring wanted = application ? Wide(application->Title) : std::wstring();
    if (!application_window) {
      // No size: only its taskbar entry shows.
      application_window =
          CreateWindowExW(0, kApplicationClass, wanted.c_str(),
                          WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                          GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                          0, nullptr, nullptr, instance, nullptr);
      title = wanted;
      ShowWindow(application_window, SW_SHOWNOACTIVATE);
    } else if (wanted != title) {
      SetWindowTextW(application_window, wanted.c_str());
      title = wanted;
    }
  }

  // Mirrors the properties the core may have changed since the window was made.
  void Sync(FormWindow& fw) {
    TForm& form = *fw.form;
    std::wstring caption = Wide(form.Caption);
    wchar_t current[512] = {};
    GetWindowTextW(fw.hwnd, current, 512);
    if (caption != current) SetWindowTextW(fw.hwnd, caption.c_str());
    for (auto& [button, hwnd] : fw.button_windows) {
      GetWindowTextW(hwnd, current, 512);
      std::wstring text = Wide(button->Caption);
      if (text != current) SetWindowTextW(hwnd, text.c_str());
      if (!IsWindowEnabled(hwnd) != !button->Enabled) EnableWindow(hwnd, button->Enabled);
      if (!IsWindowVisible(hwnd) != !button->Visible)
        ShowWindow(hwnd, button->Visible ? SW_SHOWNA : SW_HIDE);
    }
    InvalidateRect(fw.hwnd, nullptr, TRUE);
  }

  void SyncAll() {
    for (auto& [form, fw] : forms) Sync(*fw);
  }

  void Forget(TForm& form) {
    auto it = forms.find(&form);
    if (it == forms.end()) return;
    std::unique_ptr<FormWindow> fw = std::move(it->second);
    forms.erase(it);
    shown_order.erase(std::remove(shown_order.begin(), shown_order.end(), &form),
                      shown_order.end());
    if (fw->hwnd) DestroyWindow(fw->hwnd);
  }

  void Paint(FormWindow& fw) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(fw.hwnd, &ps);
    TForm& form = *fw.form;
    for (TControl* c : form.Controls) {
      if (!c->Visible) continue;
      if (auto* image = dynamic_cast<TImage*>(c)) {
        const Picture* pic = LoadPicture(image->Picture);
        if (!pic) continue;
        const int w = image->Stretch ? S(image->Width) : S(pic->width);
        const int h = image->Stretch ? S(image->Height) : S(pic->height);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, pic->bitmap);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, S(image->Left), S(image->Top), w, h, mem, 0, 0, pic->width, pic->height,
                   blend);
        SelectObject(mem, old);
        DeleteDC(mem);
      } else if (auto* label = dynamic_cast<TLabel*>(c)) {
        const std::string& face = label->FontName.empty() ? form.FontName : label->FontName;
        const int height = label->FontHeight ? label->FontHeight : form.FontHeight;
        HGDIOBJ old = SelectObject(dc, Font(face, height));
        SetTextColor(dc, ToColorRef(label->FontName.empty() ? form.FontColor : label->FontColor));
        SetBkMode(dc, label->Transparent ? TRANSPARENT : OPAQUE);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        const std::wstring text = Wide(label->Caption);
        RECT r = {S(label->Left), S(label->Top), S(label->Left + label->Width),
                  S(label->Top + label->Height)};
        UINT flags = DT_SINGLELINE | DT_LEFT | DT_TOP | (label->AutoSize ? DT_NOCLIP : 0);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
        SelectObject(dc, old);
      }
    }
    EndPaint(fw.hwnd, &ps);
  }

  static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* fw = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      fw->hwnd = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(fw));
    }
    auto* fw = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!fw) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
      case WM_PAINT:
        fw->gui->Paint(*fw);
        return 0;
      case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
          auto it = fw->buttons.find(LOWORD(wp));
          if (it == fw->buttons.end()) break;
          // The handler may close the form and so destroy this window: keep nothing of it.
          Impl* gui = fw->gui;
          TButton* button = it->second;
          if (gui->application) gui->application->Click(*button);
          gui->SyncAll();
          return 0;
        }
        break;
      case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      case WM_CLOSE:
        fw->form->Close();
        return 0;
      case WM_NCDESTROY:
        fw->hwnd = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  HWND Owner() const {
    for (auto it = shown_order.rbegin(); it != shown_order.rend(); ++it) {
      auto f = forms.find(*it);
      if (f != forms.end() && f->second->hwnd && IsWindowVisible(f->second->hwnd))
        return f->second->hwnd;
    }
    return application_window;
  }
};

Win32Gui::Win32Gui(void* instance) : impl_(std::make_unique<Impl>()) {
  impl_->instance = instance ? static_cast<HINSTANCE>(instance) : GetModuleHandleW(nullptr);
  HDC screen = GetDC(nullptr);
  impl_->dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (impl_->dpi <= 0) impl_->dpi = 96;

  HICON icon = LoadIconW(impl_->instance, L"MAINICON");
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Impl::FormProc;
  wc.hInstance = impl_->instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = icon;
  wc.lpszClassName = kFormClass;
  RegisterClassExW(&wc);
  wc.lpfnWndProc = &DefWindowProcW;
  wc.lpszClassName = kApplicationClass;
  RegisterClassExW(&wc);
}

Win32Gui::~Win32Gui() {
  while (!impl_->forms.empty()) impl_->Forget(*impl_->forms.begin()->first);
  if (impl_->application_window) DestroyWindow(impl_->application_window);
  for (auto& [key, font] : impl_->fonts) DeleteObject(font);
  for (auto& [name, pic] : impl_->pictures)
    if (pic.bitmap) DeleteObject(pic.bitmap);
  if (impl_->com) CoUninitialize();
}

MsgResult Win32Gui::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                               MsgButtons buttons) {
  impl_->SyncAll();
  for (auto& [form, fw] : impl_->forms) UpdateWindow(fw->hwnd);
  UINT flags = MB_SETFOREGROUND;
  switch (buttons) {
    case MsgButtons::Ok:
      flags |= MB_OK;
      break;
    case MsgButtons::OkCancel:
      flags |= MB_OKCANCEL;
      break;
    case MsgButtons::YesNo:
      flags |= MB_YESNO | MB_DEFBUTTON1;  // Yes answers Enter
      break;
  }
  switch (icon) {
    case MsgIcon::None:
      break;
    case MsgIcon::Information:
      flags |= MB_ICONINFORMATION;
      break;
    case MsgIcon::Warning:
      flags |= MB_ICONWARNING;
      break;
    case MsgIcon::Error:
      flags |= MB_ICONERROR;
      break;
    case MsgIcon::Question:
      flags |= MB_ICONQUESTION;
      break;
  }
  const int rc = MessageBoxW(impl_->Owner(), Wide(text).c_str(), Wide(caption).c_str(), flags);
  switch (rc) {
    case IDCANCEL:
      return MsgResult::Cancel;
    case IDYES:
      return MsgResult::Yes;
    case IDNO:
      return MsgResult::No;
    default:
      return MsgResult::Ok;
  }
}

void Win32Gui::ShowForm(TForm& form, TApplication& application) {
  Impl& gui = *impl_;
  gui.application = &application;
  gui.EnsureApplicationWindow();
  if (FormWindow* shown = gui.Find(form)) {
    gui.Sync(*shown);
    ShowWindow(shown->hwnd, SW_SHOW);
    return;
  }
  DWORD style = WS_CLIPCHILDREN, ex = WS_EX_CONTROLPARENT;
  switch (form.BorderStyle) {
    case TBorderStyle::Dialog:
      style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
      ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case TBorderStyle::None:
      style |= WS_POPUP;
      break;
    case TBorderStyle::Sizeable:
      style |= WS_OVERLAPPEDWINDOW;
      break;
  }
  RECT r = {0, 0, gui.S(form.ClientWidth), gui.S(form.ClientHeight)};
  AdjustWindowRectEx(&r, style, FALSE, ex);
  const int w = r.right - r.left, h = r.bottom - r.top;
  int x = gui.S(form.Left), y = gui.S(form.Top);
  if (form.Position == TPosition::ScreenCenter) {
    x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  }
  auto fw = std::make_unique<FormWindow>();
  fw->gui = impl_.get();
  fw->form = &form;
  fw->font = gui.Font(form.FontName, form.FontHeight);
  FormWindow* made = fw.get();
  gui.forms[&form] = std::move(fw);
  CreateWindowExW(ex, kFormClass, Wide(form.Caption).c_str(), style, x, y, w, h,
                  gui.application_window, nullptr, gui.instance, made);
  if (!made->hwnd) {
    gui.forms.erase(&form);
    return;
  }

  std::vector<TButton*> buttons;
  for (TControl* c : form.Controls)
    if (auto* b = dynamic_cast<TButton*>(c)) buttons.push_back(b);
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](const TButton* a, const TButton* b) { return a->TabOrder < b->TabOrder; });
  int id = kFirstButtonId;
  for (TButton* b : buttons) {
    HWND bw = CreateWindowExW(0, L"BUTTON", Wide(b->Caption).c_str(),
                              WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | (b->Visible ? WS_VISIBLE : 0),
                              gui.S(b->Left), gui.S(b->Top), gui.S(b->Width), gui.S(b->Height),
                              made->hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              gui.instance, nullptr);
    SendMessageW(bw, WM_SETFONT, reinterpret_cast<WPARAM>(made->font), FALSE);
    EnableWindow(bw, b->Enabled);
    made->buttons[id++] = b;
    made->button_windows[b] = bw;
  }
  gui.shown_order.push_back(&form);
  ShowWindow(made->hwnd, SW_SHOWNORMAL);
  for (TButton* b : buttons)
    if (b->Enabled && b->Visible) {
      SetFocus(made->button_windows[b]);
      break;
    }
  UpdateWindow(made->hwnd);
}

void Win32Gui::RepaintForm(TForm& form) {
  FormWindow* fw = impl_->Find(form);
  if (!fw) return;
  impl_->Sync(*fw);
  RedrawWindow(fw->hwnd, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  GdiFlush();
}

void Win32Gui::CloseForm(TForm& form) {
  impl_->Forget(form);
  if (&form == impl_->loop_form) PostQuitMessage(0);
}

void Win32Gui::DestroyForm(TForm& form) { impl_->Forget(form); }

void Win32Gui::RunLoop(TForm& main_form) {
  impl_->loop_form = &main_form;
  if (main_form.Closed()) return;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    bool ours = false;
    for (auto& [form, fw] : impl_->forms)
      if (fw->hwnd == root) ours = true;
    if (ours && IsDialogMessageW(root, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  impl_->loop_form = nullptr;
}

}  // namespace platform
