// The main dialog (GTK 3): Load a level, Play it, Exit.
//
// Sections: message boxes; the map list of an archive; loading on a worker thread; the
// dialog itself; start-up.
//
// Play runs the walk-through inside its click handler on this thread; the walk-through's
// loop hands GTK one pending event per pass, so the dialog stays responsive meanwhile.
// Load and Play are insensitive while a walk-through runs (the level must not change under
// it, and only one may run) and while a level loads; Exit and closing the dialog end a
// running walk-through first. Loading runs on a worker thread while this thread keeps
// handling events, and a pulsing bar appears when it takes longer than half a second.
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include "app/Commands.h"
#include "app/DialogText.h"
#include "app/LevelInput.h"
#include "app/LevelSlot.h"
#include "play/WalkthroughWindow.h"
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantrell {

namespace {

constexpr const char* dialogTitle = "Vantrell";
// Loads that end sooner than this show no progress window: it would only flicker.
constexpr auto progressDelay = std::chrono::milliseconds(500);
constexpr guint progressPulseMilliseconds = 100;

void printDebug(bool debug, const std::string& line) {
    if (!debug) return;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

// ---- message boxes

// A box with an icon for its kind, the message in bold and the detail under it, and OK.
// Built by hand: GTK 3's message dialogs no longer show their kind's icon.
void runMessageBox(GtkWindow* parent, const LoadMessage& message, bool debug) {
    std::string lines = std::string("box ") + (message.failed ? "error" : "info") + '\n';
    if (!message.detail.empty()) {
        std::size_t start = 0;
        while (start <= message.detail.size()) {
            const std::size_t end = std::min(message.detail.find('\n', start), message.detail.size());
            lines += "detail " + message.detail.substr(start, end - start) + '\n';
            start = end + 1;
        }
    }
    printDebug(debug, lines + "message " + message.text);

    GtkWidget* box = gtk_dialog_new_with_buttons(
        dialogTitle, parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), "_OK",
        GTK_RESPONSE_OK, nullptr);
    gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(box), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(row), 12);
    GtkWidget* icon =
        gtk_image_new_from_icon_name(message.failed ? "dialog-error" : "dialog-information", GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(icon, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);

    GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    GtkWidget* primary = gtk_label_new(nullptr);
    gchar* markup = g_markup_printf_escaped("<b>%s</b>", message.text.c_str());
    gtk_label_set_markup(GTK_LABEL(primary), markup);
    g_free(markup);
    gtk_label_set_xalign(GTK_LABEL(primary), 0.0f);
    gtk_box_pack_start(GTK_BOX(texts), primary, FALSE, FALSE, 0);
    if (!message.detail.empty()) {
        GtkWidget* secondary = gtk_label_new(message.detail.c_str());
        gtk_label_set_line_wrap(GTK_LABEL(secondary), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(secondary), 48);
        gtk_label_set_xalign(GTK_LABEL(secondary), 0.0f);
        gtk_box_pack_start(GTK_BOX(texts), secondary, FALSE, FALSE, 0);
    }
    gtk_box_pack_start(GTK_BOX(row), texts, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(box))), row);
    gtk_widget_show_all(box);
    // OK takes the focus, so that Return closes the box.
    gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK));
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

// ---- the map list of an archive

enum MapColumn { mapColumnLabel, mapColumnEntry, mapColumnCount };

void onMapActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
}

// Lets the user pick one of maps; nullopt when cancelled. Typing a name finds it in the list.
std::optional<std::string> pickMap(GtkWindow* parent, const std::string& archiveName,
                                   const std::vector<std::string>& maps, bool debug) {
    printDebug(debug, "maps " + std::to_string(maps.size()));
    const std::string title = "Maps in " + archiveName;
    GtkWidget* dialog = gtk_dialog_new_with_buttons(
        title.c_str(), parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        "_Cancel", GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);

    GtkListStore* store = gtk_list_store_new(mapColumnCount, G_TYPE_STRING, G_TYPE_STRING);
    for (const std::string& entry : maps) {
        GtkTreeIter row;
        gtk_list_store_append(store, &row);
        gtk_list_store_set(store, &row, mapColumnLabel, mapLabel(entry).c_str(), mapColumnEntry, entry.c_str(), -1);
    }
    GtkWidget* list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);  // the view holds it
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(list), FALSE);
    gtk_tree_view_append_column(
        GTK_TREE_VIEW(list),
        gtk_tree_view_column_new_with_attributes("Map", gtk_cell_renderer_text_new(), "text", mapColumnLabel, nullptr));
    gtk_tree_view_set_search_column(GTK_TREE_VIEW(list), mapColumnLabel);
    g_signal_connect(list, "row-activated", G_CALLBACK(onMapActivated), dialog);
    GtkTreePath* first = gtk_tree_path_new_first();
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(list), first, nullptr, FALSE);
    gtk_tree_path_free(first);

    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_widget_set_size_request(scroller, 260, 320);
    gtk_container_add(GTK_CONTAINER(scroller), list);
    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 8);
    gtk_box_pack_start(GTK_BOX(content), scroller, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(list);

    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        GtkTreeModel* model = nullptr;
        GtkTreeIter row;
        if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)), &model, &row)) {
            gchar* entry = nullptr;
            gtk_tree_model_get(model, &row, mapColumnEntry, &entry, -1);
            if (entry) chosen = entry;
            g_free(entry);
        }
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

// ---- loading on a worker thread

struct LoadProgress {
    GtkWindow* parent = nullptr;
    std::string name;
    std::chrono::steady_clock::time_point start;
    GtkWidget* window = nullptr;
    GtkWidget* bar = nullptr;
    bool debug = false;
};

gboolean onProgressTick(gpointer data) {
    auto* progress = static_cast<LoadProgress*>(data);
    if (!progress->window) {
        if (std::chrono::steady_clock::now() - progress->start < progressDelay) return G_SOURCE_CONTINUE;
        progress->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWindow* window = GTK_WINDOW(progress->window);
        gtk_window_set_title(window, dialogTitle);
        gtk_window_set_transient_for(window, progress->parent);
        gtk_window_set_modal(window, TRUE);
        gtk_window_set_deletable(window, FALSE);
        gtk_window_set_resizable(window, FALSE);
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
        // The load cannot be stopped half way: closing waits for it like everything else.
        g_signal_connect(progress->window, "delete-event", G_CALLBACK(gtk_true), nullptr);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
        gtk_container_set_border_width(GTK_CONTAINER(box), 12);
        const std::string text = "Loading " + progress->name + "\u2026";
        gtk_box_pack_start(GTK_BOX(box), gtk_label_new(text.c_str()), FALSE, FALSE, 0);
        progress->bar = gtk_progress_bar_new();
        gtk_widget_set_size_request(progress->bar, 240, -1);
        gtk_box_pack_start(GTK_BOX(box), progress->bar, FALSE, FALSE, 0);
        gtk_container_add(GTK_CONTAINER(progress->window), box);
        gtk_widget_show_all(progress->window);
        printDebug(progress->debug, "progress " + progress->name);
    }
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(progress->bar));
    return G_SOURCE_CONTINUE;
}

// Runs loadInput on a worker thread and handles this thread's events until it is done.
LoadedInput loadWhileResponsive(GtkWindow* parent, const LoadRequest& request, const std::string& name, bool debug) {
    LoadedInput result;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            result = loadInput(request);
        } catch (const std::exception& error) {
            result = LoadedInput{};
            result.name = name;
            result.error = error.what();
        }
        done.store(true);
        g_main_context_wakeup(nullptr);  // the loop below may be waiting for an event
    });
    LoadProgress progress;
    progress.parent = parent;
    progress.name = name;
    progress.start = std::chrono::steady_clock::now();
    progress.debug = debug;
    const guint timer = g_timeout_add(progressPulseMilliseconds, onProgressTick, &progress);
    while (!done.load()) gtk_main_iteration();
    worker.join();
    g_source_remove(timer);
    if (progress.window) gtk_widget_destroy(progress.window);
    return result;
}

// ---- the dialog

class MainDialog {
public:
    explicit MainDialog(bool debug) : debug(debug) { build(); }
    ~MainDialog() {
        if (pendingDrop) g_source_remove(pendingDrop);
        if (window) gtk_widget_destroy(window);
    }
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Shows the dialog, opens firstLevel when one is given, and handles events until Exit,
    // Escape or the close button.
    void run(const std::string& firstLevel) {
        gtk_widget_show_all(window);
        if (debug) {
#ifdef GDK_WINDOWING_X11
            GdkWindow* gdkWindow = gtk_widget_get_window(window);
            if (gdkWindow && GDK_IS_X11_WINDOW(gdkWindow)) {
                printDebug(true, "dialog " + std::to_string(static_cast<unsigned long>(GDK_WINDOW_XID(gdkWindow))));
            }
#endif
        }
        updateLevelLine();
        // The level the program was started with says nothing when it loads: the title and
        // the line under the buttons show it.
        if (!firstLevel.empty()) open(firstLevel, false);
        // Our own flag ends the loop: gtk_main_quit only ends gtk_main.
        while (!quit) gtk_main_iteration();
    }

private:
    void build() {
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), dialogTitle);
        gtk_window_set_icon_name(GTK_WINDOW(window), "vantrell");
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
        gtk_box_pack_start(GTK_BOX(box), exitButton, FALSE, FALSE, 0);
        gtk_widget_set_margin_top(exitButton, 24);
        levelLine = gtk_label_new(nullptr);
        gtk_label_set_line_wrap(GTK_LABEL(levelLine), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(levelLine), 30);
        gtk_label_set_justify(GTK_LABEL(levelLine), GTK_JUSTIFY_CENTER);
        gtk_widget_set_margin_top(levelLine, 8);
        gtk_box_pack_start(GTK_BOX(box), levelLine, FALSE, FALSE, 0);

        gtk_widget_set_can_default(exitButton, TRUE);
        gtk_window_set_default(GTK_WINDOW(window), exitButton);
        gtk_widget_set_sensitive(playButton, FALSE);

        // A level file dropped from a file manager loads like a chosen one.
        gtk_drag_dest_set(window, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
        gtk_drag_dest_add_uri_targets(window);

        g_signal_connect(loadButton, "clicked", G_CALLBACK(onLoadClicked), this);
        g_signal_connect(playButton, "clicked", G_CALLBACK(onPlayClicked), this);
        g_signal_connect(exitButton, "clicked", G_CALLBACK(onExitClicked), this);
        g_signal_connect(window, "delete-event", G_CALLBACK(onDeleteEvent), this);
        g_signal_connect(window, "key-press-event", G_CALLBACK(onKeyPress), this);
        g_signal_connect(window, "drag-data-received", G_CALLBACK(onDragDataReceived), this);
    }

    void updateSensitivity() {
        gtk_widget_set_sensitive(loadButton, !playing && !loading);
        gtk_widget_set_sensitive(playButton, !playing && !loading && slot.playable());
    }

    void updateLevelLine() {
        const std::string title = windowTitle(slot.currentName());
        const std::string line = slot.statusLine();
        gtk_window_set_title(GTK_WINDOW(window), title.c_str());
        gtk_label_set_text(GTK_LABEL(levelLine), line.c_str());
        printDebug(debug, "status " + oneLine(line));
    }

    void choose() {
        if (playing || loading) return;
        GtkWidget* chooser =
            gtk_file_chooser_dialog_new("Load BSP", GTK_WINDOW(window), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                        GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
        GtkFileFilter* levels = gtk_file_filter_new();
        gtk_file_filter_set_name(levels, "BSP files (*.bsp)");
        gtk_file_filter_add_pattern(levels, "*.bsp");
        gtk_file_chooser_add_filter(files, levels);
        if (canImportGameLevels()) {
            GtkFileFilter* archives = gtk_file_filter_new();
            gtk_file_filter_set_name(archives, "Game archives (*.pk3)");
            gtk_file_filter_add_pattern(archives, "*.pk3");
            gtk_file_chooser_add_filter(files, archives);
        }
        if (canCompileScenes()) {
            GtkFileFilter* scenes = gtk_file_filter_new();
            gtk_file_filter_set_name(scenes, "Scenes (*.gltf, *.glb, *.obj, *.fbx, *.dae)");
            for (const char* pattern : {"*.gltf", "*.glb", "*.obj", "*.fbx", "*.dae"})
                gtk_file_filter_add_pattern(scenes, pattern);
            gtk_file_chooser_add_filter(files, scenes);
        }
        GtkFileFilter* all = gtk_file_filter_new();
        gtk_file_filter_set_name(all, "All Files (*.*)");
        gtk_file_filter_add_pattern(all, "*");
        gtk_file_chooser_add_filter(files, all);
        gtk_file_chooser_set_local_only(files, TRUE);
        std::error_code error;
        const std::string workingDirectory = std::filesystem::current_path(error).string();
        const std::string folder = chooserStartFolder(lastLevel, workingDirectory);
        if (!folder.empty()) gtk_file_chooser_set_current_folder(files, folder.c_str());

        std::string path;
        const Nested nested(*this);
        if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
            if (gchar* name = gtk_file_chooser_get_filename(files)) {
                path = name;
                g_free(name);
            }
        }
        gtk_widget_destroy(chooser);
        if (!path.empty()) open(path, true);  // cancelled: nothing changes
    }

    // Loads path (for an archive, the map the user picks) and shows the outcome; a success
    // shows its box only when announceSuccess is set.
    void open(const std::string& path, bool announceSuccess) {
        if (playing || loading) return;
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        lastLevel = error ? path : absolute.string();
        const std::string fileName = std::filesystem::path(path).filename().string();

        LoadRequest request{path, {}};
        if (canImportGameLevels() && inputKindOf(path) == InputKind::gameArchive) {
            std::vector<std::string> maps;
            std::string why;
            if (!archiveMaps(path, maps, why)) {
                finish(slot.refuse(fileName, {"This archive cannot be read:", why, true}), false);
                return;
            }
            if (maps.empty()) {
                finish(slot.refuse(fileName, {"This archive holds no maps.", "It has no maps/*.bsp entry.", true}),
                       false);
                return;
            }
            std::optional<std::string> map;
            {
                const Nested nested(*this);
                map = pickMap(GTK_WINDOW(window), fileName, maps, debug);
            }
            if (!map || quit) return;
            request.mapEntry = *map;
        }

        loading = true;
        updateSensitivity();
        LoadedInput input = loadWhileResponsive(
            GTK_WINDOW(window), request, request.mapEntry.empty() ? fileName : mapLabel(request.mapEntry), debug);
        loading = false;
        if (quit) return;
        const LoadMessage message = slot.take(std::move(input));
        if (!message.failed) addToRecent(lastLevel);
        finish(message, announceSuccess);
    }

    void finish(const LoadMessage& message, bool announceSuccess) {
        updateSensitivity();
        updateLevelLine();
        if (message.failed || announceSuccess) {
            const Nested nested(*this);
            runMessageBox(GTK_WINDOW(window), message, debug);
        }
        // After a load, Return plays the level instead of opening the chooser again.
        if (!message.failed && !quit) gtk_widget_grab_focus(playButton);
    }

    static void addToRecent(const std::string& path) {
        gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
        if (!uri) return;
        gtk_recent_manager_add_item(gtk_recent_manager_get_default(), uri);
        g_free(uri);
    }

    void play() {
        const LoadedLevel* current = slot.current();
        if (playing || loading || !current) return;
        playing = true;
        updateSensitivity();
        WalkthroughOptions options;
        options.debug = debug;
        options.startPosition = slot.startPosition();
        options.pumpOtherEvents = [] {
            if (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        };
        const WalkthroughResult result = startWalkthrough(current->geometry, current->partition, options);
        playing = false;
        if (quit) return;
        updateSensitivity();
        if (result == WalkthroughResult::noWindow) {
            runMessageBox(
                GTK_WINDOW(window),
                {"The walk-through window could not be opened.", "See the standard error output for why.", true},
                debug);
        }
    }

    void exit() {
        quit = true;
        requestWalkthroughEnd();
        // Hidden at once; destroyed when the loop has let go of any running walk-through
        // or load.
        gtk_widget_hide(window);
    }

    // Drops are taken after the drag has ended, outside its handler, and only while the
    // dialog waits for a command.
    void drop(const std::string& uriList) {
        if (playing || loading || nestedDialogs > 0 || pendingDrop) return;
        const std::vector<std::string> paths = pathsFromUriList(uriList);
        if (paths.empty()) return;
        droppedPath = paths.front();
        pendingDrop = g_idle_add(onDropIdle, this);
    }

    static void onLoadClicked(GtkButton*, gpointer self) {
        static_cast<MainDialog*>(self)->choose();
    }
    static void onPlayClicked(GtkButton*, gpointer self) {
        static_cast<MainDialog*>(self)->play();
    }
    static void onExitClicked(GtkButton*, gpointer self) {
        static_cast<MainDialog*>(self)->exit();
    }
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
        static_cast<MainDialog*>(self)->exit();
        return TRUE;  // the dialog destroys its window itself
    }
    static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
        if (event->keyval != GDK_KEY_Escape) return FALSE;
        static_cast<MainDialog*>(self)->exit();
        return TRUE;
    }
    static void onDragDataReceived(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint, guint,
                                   gpointer self) {
        const gint length = gtk_selection_data_get_length(data);
        const guchar* bytes = gtk_selection_data_get_data(data);
        if (length <= 0 || !bytes) return;
        static_cast<MainDialog*>(self)->drop(
            std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length)));
    }
    static gboolean onDropIdle(gpointer data) {
        auto* self = static_cast<MainDialog*>(data);
        self->pendingDrop = 0;
        if (!self->quit && self->nestedDialogs == 0) self->open(self->droppedPath, true);
        return G_SOURCE_REMOVE;
    }

    // Counts the chooser, map list or message box running over the dialog: a drop then waits
    // for nothing and is ignored.
    struct Nested {
        explicit Nested(MainDialog& dialog) : dialog(dialog) { ++dialog.nestedDialogs; }
        ~Nested() { --dialog.nestedDialogs; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;
        MainDialog& dialog;
    };

    bool debug;
    LevelSlot slot;
    int nestedDialogs = 0;
    std::string lastLevel;  // the last file chosen, dropped or given, absolute
    std::string droppedPath;
    guint pendingDrop = 0;
    GtkWidget* window = nullptr;
    GtkWidget* loadButton = nullptr;
    GtkWidget* playButton = nullptr;
    GtkWidget* exitButton = nullptr;
    GtkWidget* levelLine = nullptr;
    bool playing = false;
    bool loading = false;
    bool quit = false;
};

}  // namespace

// ---- start-up

int runMainDialog(int argc, char** argv, const std::string& firstLevel) {
    if (!gtk_init_check(&argc, &argv)) {
        std::cerr << "vantrell: cannot open the display for the main dialog\n";
        return 1;
    }
    MainDialog dialog(debugRequestedByEnvironment());
    dialog.run(firstLevel);
    return 0;
}

}  // namespace vantrell
