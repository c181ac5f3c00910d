// The main dialog (GTK 3): Load a level, Play it, Exit.
//
// Play runs the walk-through inside its click handler on this thread; the walk-through's
// loop hands GTK one pending event per pass, so the dialog stays responsive meanwhile.
// Load and Play are insensitive while a walk-through runs (the level must not change under
// it, and only one may run); Exit and closing the dialog end a running walk-through first.
#include "app/Commands.h"
#include "app/LevelSlot.h"
#include "play/WalkthroughWindow.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <cstdio>
#include <iostream>
#include <string>

namespace vantrell {

namespace {

constexpr const char* dialogTitle = "Vantrell";

class MainDialog {
public:
    explicit MainDialog(bool debug) : debug(debug) { build(); }
    ~MainDialog() {
        if (window) gtk_widget_destroy(window);
    }
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Shows the dialog and handles its events until Exit, Escape or the close button.
    void run() {
        gtk_widget_show_all(window);
        if (debug) {
#ifdef GDK_WINDOWING_X11
            GdkWindow* gdkWindow = gtk_widget_get_window(window);
            if (gdkWindow && GDK_IS_X11_WINDOW(gdkWindow)) {
                std::printf("dialog %lu\n", static_cast<unsigned long>(GDK_WINDOW_XID(gdkWindow)));
                std::fflush(stdout);
            }
#endif
        }
        // Our own flag ends the loop: gtk_main_quit only ends gtk_main.
        while (!quit) gtk_main_iteration();
    }

private:
    void build() {
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), dialogTitle);
        gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
        gtk_container_set_border_width(GTK_CONTAINER(window), 12);

        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
        gtk_container_add(GTK_CONTAINER(window), box);
        loadButton = gtk_button_new_with_mnemonic("_Load BSP...");
        playButton = gtk_button_new_with_mnemonic("_Play!");
        exitButton = gtk_button_new_with_mnemonic("E_xit");
        gtk_widget_set_size_request(loadButton, 140, -1);
        gtk_box_pack_start(GTK_BOX(box), loadButton, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), playButton, FALSE, FALSE, 0);
        // Exit stands apart from the two level commands, as in the classic layout.
        gtk_box_pack_end(GTK_BOX(box), exitButton, FALSE, FALSE, 0);
        gtk_widget_set_margin_top(exitButton, 24);

        gtk_widget_set_can_default(exitButton, TRUE);
        gtk_window_set_default(GTK_WINDOW(window), exitButton);
        gtk_widget_set_sensitive(playButton, FALSE);

        g_signal_connect(loadButton, "clicked", G_CALLBACK(onLoadClicked), this);
        g_signal_connect(playButton, "clicked", G_CALLBACK(onPlayClicked), this);
        g_signal_connect(exitButton, "clicked", G_CALLBACK(onExitClicked), this);
        g_signal_connect(window, "delete-event", G_CALLBACK(onDeleteEvent), this);
        g_signal_connect(window, "key-press-event", G_CALLBACK(onKeyPress), this);
    }

    void updateSensitivity() {
        gtk_widget_set_sensitive(loadButton, !playing);
        gtk_widget_set_sensitive(playButton, !playing && level.playable());
    }

    void load() {
        if (playing) return;
        GtkWidget* chooser = gtk_file_chooser_dialog_new("Load BSP", GTK_WINDOW(window), GTK_FILE_CHOOSER_ACTION_OPEN,
                                                         "_Cancel", GTK_RESPONSE_CANCEL, "_Open",
                                                         GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileFilter* levels = gtk_file_filter_new();
        gtk_file_filter_set_name(levels, "BSP files (*.bsp)");
        gtk_file_filter_add_pattern(levels, "*.bsp");
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), levels);
        GtkFileFilter* all = gtk_file_filter_new();
        gtk_file_filter_set_name(all, "All Files (*.*)");
        gtk_file_filter_add_pattern(all, "*");
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), all);
        gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);

        std::string path;
        if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
            if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
                path = name;
                g_free(name);
            }
        }
        gtk_widget_destroy(chooser);
        if (path.empty()) return;  // cancelled: nothing changes

        const LoadMessage message = level.load(path);
        updateSensitivity();
        showMessage(message);
    }

    void showMessage(const LoadMessage& message) {
        if (debug) {
            std::printf("message %s\n", message.text.c_str());
            std::fflush(stdout);
        }
        GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(window),
                                                static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s", message.text.c_str());
        gtk_window_set_title(GTK_WINDOW(box), dialogTitle);
        if (!message.detail.empty()) {
            gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s", message.detail.c_str());
        }
        gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
    }

    void play() {
        const LoadedLevel* current = level.current();
        if (playing || !current) return;
        playing = true;
        updateSensitivity();
        WalkthroughOptions options;
        options.debug = debug;
        options.pumpOtherEvents = [] {
            if (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        };
        const WalkthroughResult result = startWalkthrough(current->geometry, current->partition, options);
        playing = false;
        if (quit) return;
        updateSensitivity();
        if (result == WalkthroughResult::noWindow) {
            showMessage({"The walk-through window could not be opened.", "See the standard error output for why."});
        }
    }

    void exit() {
        quit = true;
        requestWalkthroughEnd();
        // Hidden at once; destroyed when the loop has let go of any running walk-through.
        gtk_widget_hide(window);
    }

    static void onLoadClicked(GtkButton*, gpointer self) { static_cast<MainDialog*>(self)->load(); }
    static void onPlayClicked(GtkButton*, gpointer self) { static_cast<MainDialog*>(self)->play(); }
    static void onExitClicked(GtkButton*, gpointer self) { static_cast<MainDialog*>(self)->exit(); }
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
        static_cast<MainDialog*>(self)->exit();
        return TRUE;  // the dialog destroys its window itself
    }
    static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
        if (event->keyval != GDK_KEY_Escape) return FALSE;
        static_cast<MainDialog*>(self)->exit();
        return TRUE;
    }

    bool debug;
    LevelSlot level;
    GtkWidget* window = nullptr;
    GtkWidget* loadButton = nullptr;
    GtkWidget* playButton = nullptr;
    GtkWidget* exitButton = nullptr;
    bool playing = false;
    bool quit = false;
};

}  // namespace

int runMainDialog(int argc, char** argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::cerr << "vantrell: cannot open the display for the main dialog\n";
        return 1;
    }
    MainDialog dialog(debugRequestedByEnvironment());
    dialog.run();
    return 0;
}

}  // namespace vantrell
