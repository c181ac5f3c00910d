// Test helper for the end-to-end tests: a window that offers one file as a drag source.
// Usage: drag_source FILE; prints "source WINDOW_ID" once shown.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

namespace {

void onDragDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer uri) {
    gchar* uris[] = {static_cast<gchar*>(uri), nullptr};
    gtk_selection_data_set_uris(data, uris);
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: drag_source FILE\n");
        return 2;
    }
    gchar* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
    if (!uri) return 1;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "drag source");
    GtkWidget* box = gtk_event_box_new();
    gtk_widget_set_size_request(box, 200, 120);
    gtk_container_add(GTK_CONTAINER(box), gtk_label_new("drag me"));
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_drag_source_set(box, GDK_BUTTON1_MASK, nullptr, 0, GDK_ACTION_COPY);
    gtk_drag_source_add_uri_targets(box);
    g_signal_connect(box, "drag-data-get", G_CALLBACK(onDragDataGet), uri);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_window_move(GTK_WINDOW(window), 40, 40);
    gtk_widget_show_all(window);
    std::printf("source %lu\n", static_cast<unsigned long>(GDK_WINDOW_XID(gtk_widget_get_window(window))));
    std::fflush(stdout);
    gtk_main();
    g_free(uri);
    return 0;
}
