#include "doubles/gui_toolkit_double.h"

#include <exception>
#include <stdexcept>
#include <utility>

// A handler is copied before it runs: it may replace itself while running.

TDoubleControl::TDoubleControl(TDoubleForm& form, const TControlLayout& layout)
    : FForm(form), FName(layout.name), FText(layout.caption), FPlace(layout.place) {}

bool TDoubleControl::Showing() const {
  if (!FVisible || !FForm.Shown() || FForm.Closed()) return false;
  if (FPageControl == nullptr) return true;
  return FPageControl->Showing() && FPageControl->ActivePage() == FPage;
}

bool TDoubleControl::TakesInput() const {
  if (!Showing() || !FEnabled || !FForm.TakesInput()) return false;
  return FPageControl == nullptr || FPageControl->TakesInput();
}

TDoubleEdit::TDoubleEdit(TDoubleForm& form, const TControlLayout& layout, std::intptr_t handle)
    : TDoubleControl(form, layout), FMaxLength(layout.maxLength), FHandle(handle) {}

void TDoubleEdit::SetText(const std::string& text) {
  if (text == FText) return;
  // As WM_SETTEXT does, a text set by the program is not cut to the limit.
  FText = text;
  std::function<void()> handler = OnChange;
  if (handler) handler();
}

std::intptr_t TDoubleEdit::GetHandle() const { return FForm.Closed() ? 0 : FHandle; }

void TDoubleCheckBox::SetChecked(bool checked) {
  if (checked == FChecked) return;
  FChecked = checked;
  std::function<void()> handler = OnClick;
  if (handler) handler();
}

TDoublePageControl::TDoublePageControl(TDoubleForm& form, const TControlLayout& layout)
    : TDoubleControl(form, layout), FPages(layout.pages) {
  if (FPages.empty()) throw std::invalid_argument("page control without pages: " + layout.name);
}

const std::string& TDoublePageControl::PageName(int index) const {
  if (index < 0 || index >= PageCount()) throw std::out_of_range("no page " + std::to_string(index) + " in " + FName);
  return FPages[index].name;
}

const std::string& TDoublePageControl::PageCaption(int index) const {
  if (index < 0 || index >= PageCount()) throw std::out_of_range("no page " + std::to_string(index) + " in " + FName);
  return FPages[index].caption;
}

void TDoublePageControl::SetActivePage(int index) {
  if (index < 0 || index >= PageCount()) throw std::out_of_range("no page " + std::to_string(index) + " in " + FName);
  FActive = index;
}

TDoubleForm::TDoubleForm(TDoubleApplication& application, const TFormLayout& layout)
    : FApplication(application),
      FCaption(layout.caption),
      FClientWidth(layout.clientWidth),
      FClientHeight(layout.clientHeight) {}

void TDoubleForm::Add(std::unique_ptr<TDoubleControl> control, const TControlLayout& layout) {
  if (FByName.count(layout.name) != 0) throw std::invalid_argument("two controls named " + layout.name);
  if (!layout.page.empty()) {
    auto page = FPages.find(layout.page);
    if (page == FPages.end()) throw std::invalid_argument("no page " + layout.page + " for " + layout.name);
    control->FPageControl = page->second.first;
    control->FPage = page->second.second;
  }
  FByName[layout.name] = control.get();
  FOrder.push_back(layout.name);
  FControls.push_back(std::move(control));
}

TControl* TDoubleForm::FindControl(const std::string& name) {
  auto found = FByName.find(name);
  return found == FByName.end() ? nullptr : found->second;
}

TDoubleEdit* TDoubleForm::EditByHandle(std::intptr_t handle) {
  if (handle == 0) return nullptr;
  for (const auto& control : FControls) {
    TDoubleEdit* edit = dynamic_cast<TDoubleEdit*>(control.get());
    if (edit != nullptr && edit->GetHandle() == handle) return edit;
  }
  return nullptr;
}

bool TDoubleForm::TakesInput() const { return FShown && !FClosed && !FApplication.Modal(); }

void TDoubleForm::RunUserHandler(const std::function<void()>& handler) {
  if (!handler) return;
  std::function<void()> copy = handler;
  try {
    copy();
  } catch (const std::exception& error) {
    FApplication.ShowException(error.what());
  } catch (...) {
    FApplication.ShowException("");
  }
}

void TDoubleForm::Show() {
  if (FClosed) return;
  FShown = true;
  Activate();
}

bool TDoubleForm::Activate() {
  if (!TakesInput()) return false;
  if (FActive) return true;
  FActive = true;
  RunUserHandler(OnActivate);
  return true;
}

void TDoubleForm::Close() {
  if (FClosing || FClosed) return;
  FClosing = true;
  std::function<void()> handler = OnClose;
  try {
    if (handler) handler();
  } catch (...) {
    // The close goes ahead, as a destroyed window stays destroyed.
    FClosing = false;
    FClosed = true;
    FActive = false;
    throw;
  }
  FClosing = false;
  FClosed = true;
  FActive = false;
}

bool TDoubleForm::CloseByUser() {
  if (!TakesInput()) return false;
  RunUserHandler([this] { Close(); });
  return true;
}

TDoubleControl* TDoubleForm::Reachable(const std::string& name) {
  auto found = FByName.find(name);
  if (found == FByName.end()) throw std::invalid_argument("no control named " + name);
  return found->second->TakesInput() ? found->second : nullptr;
}

bool TDoubleForm::Click(const std::string& name) {
  TDoubleControl* control = Reachable(name);
  if (control == nullptr) return false;
  if (TDoubleButton* button = dynamic_cast<TDoubleButton*>(control)) {
    RunUserHandler(button->OnClick);
    return true;
  }
  if (TDoubleCheckBox* box = dynamic_cast<TDoubleCheckBox*>(control)) {
    box->FChecked = !box->FChecked;
    RunUserHandler(box->OnClick);
    return true;
  }
  throw std::invalid_argument(name + " is neither a button nor a check box");
}

char TDoubleForm::PressKey(char key) {
  if (!TakesInput()) return 0;
  if (!OnKeyPress) return key;
  std::function<void(char&)> handler = OnKeyPress;
  try {
    handler(key);
  } catch (const std::exception& error) {
    FApplication.ShowException(error.what());
    return 0;
  } catch (...) {
    FApplication.ShowException("");
    return 0;
  }
  return key;
}

bool TDoubleForm::TypeOne(TDoubleEdit& edit, char key) {
  if (!edit.TakesInput()) return false;
  key = PressKey(key);
  if (key == 0) return true;
  // The key handler may have closed the form or disabled the edit.
  if (!edit.TakesInput()) return false;
  std::string text = edit.FText;
  if (key == '\b') {
    if (text.empty()) return true;
    text.pop_back();
  } else if (static_cast<unsigned char>(key) < 0x20) {
    return true;
  } else if ((edit.Style & TDoubleEdit::kNumberStyle) != 0 && (key < '0' || key > '9')) {
    return true;
  } else if (edit.FMaxLength > 0 && static_cast<int>(text.size()) >= edit.FMaxLength) {
    return true;
  } else {
    text += key;
  }
  edit.FText = text;
  RunUserHandler(edit.OnChange);
  return true;
}

bool TDoubleForm::Type(const std::string& editName, const std::string& text) {
  TDoubleEdit* edit = dynamic_cast<TDoubleEdit*>(FindControl(editName));
  if (edit == nullptr) throw std::invalid_argument("no edit named " + editName);
  if (!edit->TakesInput()) return false;
  for (char key : text) {
    if (!TypeOne(*edit, key)) return false;
  }
  return true;
}

bool TDoubleForm::Paste(const std::string& editName, const std::string& text) {
  TDoubleEdit* edit = dynamic_cast<TDoubleEdit*>(FindControl(editName));
  if (edit == nullptr) throw std::invalid_argument("no edit named " + editName);
  if (!edit->TakesInput()) return false;
  std::string pasted = text;
  if (edit->FMaxLength > 0 && static_cast<int>(pasted.size()) > edit->FMaxLength) pasted.resize(edit->FMaxLength);
  if (pasted == edit->FText) return true;
  edit->FText = pasted;
  RunUserHandler(edit->OnChange);
  return true;
}

bool TDoubleForm::SelectPage(const std::string& pageControlName, int index) {
  TDoublePageControl* pages = dynamic_cast<TDoublePageControl*>(FindControl(pageControlName));
  if (pages == nullptr) throw std::invalid_argument("no page control named " + pageControlName);
  if (index < 0 || index >= pages->PageCount()) throw std::out_of_range("no page " + std::to_string(index));
  if (!pages->TakesInput() || index == pages->FActive) return false;
  bool allowed = true;
  if (pages->OnChanging) {
    std::function<bool()> asking = pages->OnChanging;
    try {
      allowed = asking();
    } catch (const std::exception& error) {
      FApplication.ShowException(error.what());
      allowed = false;
    } catch (...) {
      FApplication.ShowException("");
      allowed = false;
    }
  }
  if (!allowed) return false;
  pages->FActive = index;
  RunUserHandler(pages->OnChange);
  return true;
}

TDoubleApplication::TDoubleApplication(std::string programName) : FTitle(std::move(programName)) {}

TForm& TDoubleApplication::CreateForm(const TFormLayout& layout) {
  auto form = std::make_unique<TDoubleForm>(*this, layout);
  for (const TControlLayout& entry : layout.controls) {
    std::unique_ptr<TDoubleControl> control;
    switch (entry.kind) {
      case TControlKind::PageControl: {
        auto pages = std::make_unique<TDoublePageControl>(*form, entry);
        for (int index = 0; index < pages->PageCount(); ++index) {
          const std::string& name = pages->PageName(index);
          if (form->FPages.count(name) != 0) throw std::invalid_argument("two pages named " + name);
          form->FPages[name] = {pages.get(), index};
        }
        control = std::move(pages);
        break;
      }
      case TControlKind::Button:
        control = std::make_unique<TDoubleButton>(*form, entry);
        break;
      case TControlKind::Panel:
        control = std::make_unique<TDoublePanel>(*form, entry);
        break;
      case TControlKind::Label:
        control = std::make_unique<TDoubleLabel>(*form, entry);
        break;
      case TControlKind::Bevel:
        control = std::make_unique<TDoubleBevel>(*form, entry);
        break;
      case TControlKind::Edit:
        control = std::make_unique<TDoubleEdit>(*form, entry, FNextHandle);
        FNextHandle += 0x10;
        break;
      case TControlKind::CheckBox:
        control = std::make_unique<TDoubleCheckBox>(*form, entry);
        break;
    }
    form->Add(std::move(control), entry);
  }
  FForms.push_back(std::move(form));
  return *FForms.back();
}

TForm* TDoubleApplication::MainForm() { return FForms.empty() ? nullptr : FForms.front().get(); }

TDoubleForm& TDoubleApplication::Form(std::size_t index) {
  if (index >= FForms.size()) throw std::out_of_range("no form " + std::to_string(index));
  return *FForms[index];
}

bool TDoubleApplication::Terminated() const { return !FForms.empty() && FForms.front()->Closed(); }

void TDoubleApplication::Run() {
  if (FForms.empty()) return;
  TDoubleForm& main = *FForms.front();
  main.Show();
  while (!main.Closed() && !FQueue.empty()) {
    std::function<void()> input = std::move(FQueue.front());
    FQueue.erase(FQueue.begin());
    input();
  }
}

void TDoubleApplication::ProcessMessages() {
  ++ProcessMessagesCalls;
  std::vector<std::function<void()>> pending;
  pending.swap(FQueue);
  for (std::function<void()>& input : pending) input();
}

void TDoubleApplication::QueueUserInput(std::function<void()> input) { FQueue.push_back(std::move(input)); }

void TDoubleApplication::ShowBox(const std::string& text) {
  TDoubleForm* owner = nullptr;
  for (const auto& form : FForms) {
    if (form->FActive) owner = form.get();
  }
  if (owner != nullptr) owner->FActive = false;
  ++FModal;
  try {
    std::function<void(const std::string&)> reader = OnMessageBox;
    if (reader) reader(text);
  } catch (...) {
    --FModal;
    throw;
  }
  --FModal;
  if (owner != nullptr) owner->Activate();
}

void TDoubleApplication::ShowException(const std::string& message) {
  Exceptions.push_back(message);
  ShowBox(message);
}

void TDoubleApplication::MessageDlg(const std::string& text) {
  MessageBoxes.push_back(text);
  ShowBox(text);
}
