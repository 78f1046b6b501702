// A bare WebKitGTK window of the program's size loading one page: the
// yardstick for the program's start-up time and memory.
//
//   bare-webkit URL
//
// Prints "document-complete <CLOCK_MONOTONIC ms>" when the page has loaded.
#include <webkit2/webkit2.h>

#include <cstdio>
#include <ctime>

namespace {

long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void LoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  std::printf("document-complete %lld\n", NowMs());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bare-webkit URL\n");
    return 2;
  }
  gtk_init(nullptr, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 939, 748);
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  GtkWidget* view = webkit_web_view_new_with_settings(settings);
  g_object_unref(settings);
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "load-changed", G_CALLBACK(LoadChanged), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
