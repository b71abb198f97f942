// The string engine: descriptors, the string spaces, temporaries, assignment,
// concatenation, comparison and numeric variable storage.
#pragma once

#include <cstdint>

struct FieldBinding;  // owned by the file subsystem

// Descriptor of every BASIC string value. Byte strings with an explicit length.
struct BasicString {
    uint8_t* text;
    int32_t length;
    uint8_t in_conventional_space;   // text lives in the conventional (data-segment) space
    uint8_t* segment_record;         // 16-bit length + 16-bit offset inside the data segment
    uint16_t segment_record_offset;
    int32_t storage_index;           // position in the main or conventional storage list
    uint8_t is_temporary;
    int32_t temporary_index;         // position in the temporary list, 0 when not registered
    uint8_t is_external;             // fixed-length storage owned elsewhere
    uint8_t is_literal;              // points straight at a program literal
    FieldBinding* field_binding;
};

// Sets up the descriptor pool, the spaces, the lists and the two shared strings.
// Called once at start-up, before the program thread exists.
void string_engine_init();

BasicString* string_new(int32_t length, bool temporary);
BasicString* string_new_literal(const void* characters, int32_t length);
BasicString* string_new_from_c(const char* text);
BasicString* string_new_conventional(int32_t length, bool temporary);
BasicString* string_new_external(void* address, int32_t length, bool temporary);
BasicString* string_make_temporary(BasicString* s);
void string_free(BasicString* s);

BasicString* string_assign(BasicString* destination, BasicString* source);
BasicString* string_concat(BasicString* left, BasicString* right);

int32_t string_equal(const BasicString* left, const BasicString* right);
int32_t string_not_equal(const BasicString* left, const BasicString* right);
int32_t string_less(const BasicString* left, const BasicString* right);
int32_t string_greater(const BasicString* left, const BasicString* right);
int32_t string_less_equal(const BasicString* left, const BasicString* right);
int32_t string_greater_equal(const BasicString* left, const BasicString* right);

// The temporary mark of a program unit is the current temporary count.
int32_t string_temporary_mark();
// Frees the temporaries above the mark, newest first; passes value through.
int32_t string_release_temporaries(int32_t mark, int32_t value);

// Numeric variable cells from a bump allocator (zero-initialised).
void* variable_storage_take(int32_t size);
void variable_storage_reset(void* position);

// The two permanent shared strings: "" (ends a PRINT line) and " " (PRINT spacing).
extern BasicString* string_shared_empty;
extern BasicString* string_shared_space;

// Installed by the file subsystem: detaches a FIELD-bound string from its file. Freeing
// a string with a binding calls it first (when set) and then clears the binding.
extern void (*string_field_unbind_hook)(BasicString* s);
