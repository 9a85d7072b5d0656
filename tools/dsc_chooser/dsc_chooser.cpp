// dsc_chooser: the certificate chooser of the Linux library. The library runs
// it as a separate process so that no GUI toolkit is loaded into its host.
//
//   standard input   one row per line, "index:algorithm:name:issuer" (UTF-8);
//                    a line with fewer than three ':' is not listed
//   standard output  the index of the accepted row, in decimal, and a newline
//   exit status      0 accepted, 1 cancelled, 2 no dialog could be shown
//
// The window follows the library's dialog on Windows: the same title, prompt,
// buttons and columns in the language of the locale environment, the first
// row selected, Enter for OK and Esc for Cancel, and OK with nothing selected
// does nothing.
#include <gtk/gtk.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "chooser_row.h"
#include "chooser_texts.h"

namespace {

constexpr int kExitAccepted = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitNoDialog = 2;

enum { COLUMN_NAME, COLUMN_ISSUER, COLUMN_ALGORITHM, COLUMN_INDEX, COLUMN_COUNT };

const int kColumnWidths[3] = {180, 190, 120};

// GTK takes only valid UTF-8; the library sends nothing else, but a stray
// byte must not cost the whole row.
std::string validUtf8(std::string_view text)
{
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

GtkListStore* readRows(std::istream& in)
{
    GtkListStore* store = gtk_list_store_new(COLUMN_COUNT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_INT);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        chooser_row<char> row;
        if (!chooser_splitRow(std::string_view(line), &row)) continue;
        GtkTreeIter iter;
        gtk_list_store_append(store, &iter);
        gtk_list_store_set(store, &iter, COLUMN_NAME, validUtf8(row.name).c_str(), COLUMN_ISSUER,
                           validUtf8(row.issuer).c_str(), COLUMN_ALGORITHM, validUtf8(row.algorithm).c_str(),
                           COLUMN_INDEX, row.index, -1);
    }
    return store;
}

GtkWidget* createList(GtkListStore* store, const chooser_texts* texts)
{
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    // Column headings in the order of the Windows dialog: name, issuer, key
    // algorithm.
    const int modelColumns[3] = {COLUMN_NAME, COLUMN_ISSUER, COLUMN_ALGORITHM};
    for (int i = 0; i < 3; ++i) {
        GtkCellRenderer* renderer = gtk_cell_renderer_text_new();
        GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes(texts->columns[i], renderer, "text",
                                                                             modelColumns[i], nullptr);
        gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(column, kColumnWidths[i]);
        gtk_tree_view_column_set_resizable(column, TRUE);
        gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
    }
    gtk_tree_view_set_headers_clickable(GTK_TREE_VIEW(view), FALSE);
    gtk_tree_view_set_enable_search(GTK_TREE_VIEW(view), FALSE);
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(view));
    gtk_tree_selection_set_mode(selection, GTK_SELECTION_SINGLE);
    GtkTreeIter first;
    if (gtk_tree_model_get_iter_first(GTK_TREE_MODEL(store), &first)) {
        GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(store), &first);
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), path, nullptr, FALSE);
        gtk_tree_path_free(path);
    }
    return view;
}

// Enter on a row (or a double click) is OK, as Enter is in the Windows
// dialog, where OK is the default button.
void onRowActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer dialog)
{
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
}

GtkWidget* createDialog(GtkListStore* store, const chooser_texts* texts, GtkWidget** list)
{
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), texts->title);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_deletable(GTK_WINDOW(dialog), FALSE);
    gtk_dialog_add_button(GTK_DIALOG(dialog), texts->ok, GTK_RESPONSE_OK);
    gtk_dialog_add_button(GTK_DIALOG(dialog), texts->cancel, GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);

    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 8);
    gtk_box_set_spacing(GTK_BOX(content), 6);
    GtkWidget* prompt = gtk_label_new(texts->prompt);
    gtk_label_set_use_underline(GTK_LABEL(prompt), FALSE);
    gtk_widget_set_halign(prompt, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(content), prompt, FALSE, FALSE, 0);

    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    gtk_scrolled_window_set_min_content_width(GTK_SCROLLED_WINDOW(scroller), 500);
    gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scroller), 140);
    *list = createList(store, texts);
    gtk_container_add(GTK_CONTAINER(scroller), *list);
    gtk_box_pack_start(GTK_BOX(content), scroller, TRUE, TRUE, 0);
    g_signal_connect(*list, "row-activated", G_CALLBACK(onRowActivated), dialog);
    gtk_widget_show_all(content);
    gtk_widget_grab_focus(*list);
    return dialog;
}

// The index of the selected row; false when nothing is selected.
bool selectedIndex(GtkWidget* list, int* index)
{
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)), &model, &iter)) return false;
    gtk_tree_model_get(model, &iter, COLUMN_INDEX, index, -1);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // The language comes from the locale environment as the user set it, even
    // where that locale is not installed for the C library.
    const chooser_texts* texts = chooser_textsFor(chooser_languageFromEnvironment());
    GtkListStore* store = readRows(std::cin);
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "dsc_chooser: no display to show the certificate chooser on\n");
        return kExitNoDialog;
    }
    GtkWidget* list = nullptr;
    GtkWidget* dialog = createDialog(store, texts, &list);
    for (;;) {
        int response = gtk_dialog_run(GTK_DIALOG(dialog));
        if (response != GTK_RESPONSE_OK) return kExitCancelled;
        int index = -1;
        if (selectedIndex(list, &index) && index >= 0) {
            std::printf("%d\n", index);
            return std::fflush(stdout) == 0 ? kExitAccepted : kExitNoDialog;
        }
    }
}
