// Message boxes: GtkMessageDialog with the system's buttons, icons and
// answers. From the GUI thread the box is modal; from another thread it runs
// on the GUI thread without a grab, so the program's windows stay usable,
// while the calling thread waits for the answer.
#include <condition_variable>
#include <mutex>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {

namespace {

GtkMessageType TypeOf(int flags) {
  switch (flags & 0xF0) {
    case core::kIconError: return GTK_MESSAGE_ERROR;
    case core::kIconQuestion: return GTK_MESSAGE_QUESTION;
    case core::kIconWarning: return GTK_MESSAGE_WARNING;
    case core::kIconInformation: return GTK_MESSAGE_INFO;
    default: return GTK_MESSAGE_OTHER;
  }
}

GtkWidget* MakeBox(std::string_view text, std::string_view caption, int flags) {
  const std::string body(text);
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, TypeOf(flags), GTK_BUTTONS_NONE,
                                          "%s", body.c_str());
  const char* icon = nullptr;
  switch (TypeOf(flags)) {
    case GTK_MESSAGE_ERROR: icon = "dialog-error"; break;
    case GTK_MESSAGE_QUESTION: icon = "dialog-question"; break;
    case GTK_MESSAGE_WARNING: icon = "dialog-warning"; break;
    case GTK_MESSAGE_INFO: icon = "dialog-information"; break;
    default: break;
  }
  if (icon) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
    gtk_widget_show(image);
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  const bool cancel = (flags & 0xF) == core::kOkCancel;
  GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(box), "确定", GTK_RESPONSE_OK);
  if (cancel) gtk_dialog_add_button(GTK_DIALOG(box), "取消", GTK_RESPONSE_CANCEL);
  gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
  gtk_widget_grab_focus(ok);
  const std::string title = caption.empty() ? "信息：" : std::string(caption);
  gtk_window_set_title(GTK_WINDOW(box), title.c_str());
  atk_object_set_name(gtk_widget_get_accessible(box), title.c_str());
  gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(box), FALSE);
  g_object_set_data(G_OBJECT(box), "vondrel-cancel", GINT_TO_POINTER(cancel ? 1 : 0));
  return box;
}

// Escape and the close box count as Cancel where there is one, else as OK.
int AnswerOf(GtkWidget* box, int response) {
  const bool cancel = g_object_get_data(G_OBJECT(box), "vondrel-cancel") != nullptr;
  if (response == GTK_RESPONSE_OK) return core::kAnswerOk;
  return cancel ? core::kAnswerCancel : core::kAnswerOk;
}

struct Pending {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  int answer = core::kAnswerOk;
};

void Answered(GtkDialog* box, int response, gpointer data) {
  auto* p = static_cast<Pending*>(data);
  const int answer = AnswerOf(GTK_WIDGET(box), response);
  gtk_widget_destroy(GTK_WIDGET(box));
  {
    std::lock_guard<std::mutex> l(p->mutex);
    p->answer = answer;
    p->done = true;
  }
  p->cv.notify_all();
}

}  // namespace

int RunMessageBox(std::string_view text, std::string_view caption, int flags, bool modal) {
  if (modal) {
    GtkWidget* box = MakeBox(text, caption, flags);
    gtk_window_set_modal(GTK_WINDOW(box), TRUE);
    const int response = gtk_dialog_run(GTK_DIALOG(box));
    const int answer = AnswerOf(box, response);
    gtk_widget_destroy(box);
    return answer;
  }
  Pending p;
  const std::string t(text), c(caption);
  RunOnGui([&] {
    GtkWidget* box = MakeBox(t, c, flags);
    g_signal_connect(box, "response", G_CALLBACK(Answered), &p);
    gtk_widget_show_all(box);
  });
  std::unique_lock<std::mutex> l(p.mutex);
  p.cv.wait(l, [&] { return p.done; });
  return p.answer;
}

}  // namespace gtkb

namespace core {

int ShowMessageBox(std::string_view text, std::string_view caption, int flags) {
  return gtkb::RunMessageBox(text, caption, flags, gtkb::OnGuiThread());
}

}  // namespace core
