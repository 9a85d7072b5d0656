// Growable arrays of owned pointers: `tcore_list` destroys its items through
// a callback, `tcore_strlist` owns copies of texts.
#pragma once

typedef void (*tcore_list_freeItem)(void* item);

struct tcore_list {
    void** items;  // slots at index `count` and beyond are null
    int count;
    int capacity;                  // starts at 256, doubles when full, never shrinks
    tcore_list_freeItem freeItem;  // may be null: items are then not destroyed
};

struct tcore_strlist {
    char** items;
    int count;
    int capacity;
};

tcore_list* tcore_list_new(tcore_list_freeItem freeItem);
int tcore_list_append(tcore_list* list, void* item);
int tcore_list_remove(tcore_list* list, void* item);
void tcore_list_clear(tcore_list* list);
void tcore_list_free(tcore_list* list);

tcore_strlist* tcore_strlist_new();
int tcore_strlist_append(tcore_strlist* list, const char* text);
int tcore_strlist_count(const tcore_strlist* list);
const char* tcore_strlist_get(const tcore_strlist* list, int index);
void tcore_strlist_clear(tcore_strlist* list);
void tcore_strlist_free(tcore_strlist* list);

// Splits `text` at every "," into a new list; the separators in `text` are
// overwritten with NUL. A trailing separator adds no empty last piece. Null
// for a null or empty text.
tcore_strlist* tcore_strlist_split(char* text);
