// The adventure: the story program, one runtime call sequence per BASIC statement.
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/program_protocol.h"
#include "keyboard/keyboard.h"
#include "numbers/numbers.h"
#include "screen/screen.h"
#include "sound/sound.h"
#include "strings/strings.h"

namespace {

// ---------------------------------------------------------------------------------------
// Program variables: numeric cells from the variable store, strings as permanent
// descriptors. All are created once, on the first entry.
// ---------------------------------------------------------------------------------------

int16_t* item_number;
BasicString* item_name;
float* item_stage;
BasicString* first_item;
int16_t* number_draw;
BasicString* colour_name;
int16_t* first_choice;
BasicString* mood;
float* mood_stage;
int16_t* crowd_number;
BasicString* crowd;
int16_t* coin;
BasicString* doorway_item;
int16_t* fall;
int16_t* second_choice;
int16_t* outside_draw;
int16_t* ending_number;
BasicString* ending_text;
int16_t* food_number;
BasicString* food;
int16_t* taste_number;
BasicString* taste;
int16_t* laugh_number;
BasicString* answer;

// Each question that only waits for Return reads into a variable of its own; the type
// decides which keys INPUT accepts there.
int16_t* wake_return;        // line 107
float* chaos_return;         // line 198
int16_t* stairs_return;      // line 226
float* fan_return;           // line 268
float* outside_return;       // line 328
float* snack_return;         // line 383
float* look_back_return;     // line 443
float* final_return;         // line 453

// The value each SELECT CASE compares against, kept per SELECT statement.
int32_t case_value;

bool variables_created = false;

// ---------------------------------------------------------------------------------------
// Draw tables: the value drawn selects the row.
// ---------------------------------------------------------------------------------------

constexpr const char* kItemNames[10] = {
    "shirt", "pants", "frog", "bananna peel", "pogo stick",
    "chunk of meat", "laundry basket", "puddle", "bag", "spoon"};

constexpr const char* kMoods[10] = {
    "astonished", "pleased", "surprised", "shocked", "scared",
    "terrified", "horrified", "amazed", "relieved", "glad"};

constexpr const char* kCrowds[10] = {
    "squid", "flock of penguins", "herd of ferrets", "pack of squirrels",
    "posse of rabbits", "group of orangutans", "several ridiculous snakes",
    "a huge robot", "a car full of clowns", "a bus load of tourists"};

constexpr const char* kEndingTexts[5] = {
    "Out of the sky UFO's beam down and carry you away,looks like this is the end.",
    "A massive squid fall's from the sky crushing you and you entire house.",
    "a team of cartwheelin acrobats grab you, and juggle you off into the sunset",
    "zombies erupt from the earth dragging you to your doom...",
    "You startle and begin to wake up, this must have been a dream."};

constexpr const char* kFoods[10] = {
    "hamburger", "pizza", "chicken", "ravioli", "stewed rabbit feet",
    "pickled pig feet", "BBQ ribs", "A ham sandwich", "blueberry pie", "fried rattlesnake"};

constexpr const char* kTastes[4] = {"delicious", "disgusting", "awful", "appetizing"};

// INPUT type words of the three variable kinds the story reads.
constexpr uint32_t kInputInteger = 16;
constexpr uint32_t kInputSingle = kInputTypeFloat | 32;
constexpr uint32_t kInputString = kInputTypeString;

// ---------------------------------------------------------------------------------------
// The statement protocol
// ---------------------------------------------------------------------------------------

// The main unit's statements and tests, against the temporary mark the prologue took.
template <typename Body>
void statement(int32_t line, Body body) {
    program_statement(program_temporary_mark, line, body);
}

template <typename Condition>
bool test(int32_t line, Condition condition) {
    return program_test(program_temporary_mark, line, condition);
}

// ---------------------------------------------------------------------------------------
// Statement forms
// ---------------------------------------------------------------------------------------

BasicString* literal(const char* text) {
    return string_new_literal(text, static_cast<int32_t>(std::strlen(text)));
}

// One PRINT item: a program literal or a string variable.
struct PrintItem {
    const char* text = nullptr;
    BasicString* variable = nullptr;
    PrintItem(const char* literal_text) : text(literal_text) {}
    PrintItem(BasicString* string_variable) : variable(string_variable) {}
};

// PRINT a; b; c: each item is copied into a fresh permanent string, fitted, printed and
// freed; the line ends after the last. A pending error skips the rest.
void print_items(std::initializer_list<PrintItem> items) {
    for (const PrintItem& item : items) {
        BasicString* copy = string_new(0, false);
        string_assign(copy, item.text != nullptr ? literal(item.text) : item.variable);
        print_make_fit(copy);
        print_string(copy, 0);
        string_free(copy);
        if (error_pending()) return;
    }
    print_string(string_shared_empty, 1);
}

// INPUT ["prompt";] variable: the prompt and "? ", then the line editor on one target.
// A window closed while it waited stops the program thread here.
void ask(const char* prompt, uint32_t type_word, void* target) {
    if (prompt != nullptr) print_string(literal(prompt), 0);
    print_string(literal("? "), 0);
    InputTargetList[1] = InputTarget{type_word, target};
    input_statement(1, 1);
    if (error_state.stop_requested.load() != 0) thread_stop_program();
}

// RANDOMIZE TIMER.
void randomize_timer() {
    random_seed(static_cast<double>(timer_seconds(0.0, 0)), kRandomSeedValue);
}

// INT(RND * n), stored in an INTEGER (the low 16 bits of the 32-bit result). The
// product of a SINGLE and a small whole number is exact in a DOUBLE.
int16_t random_below(int32_t n) {
    return static_cast<int16_t>(number_int(static_cast<double>(random_next(0.0f, 0)) * n));
}

void assign_literal(BasicString* variable, const char* text) {
    string_assign(variable, literal(text));
}

// A SELECT CASE over 0 .. count-1 whose CASE k (line first_case_line + 2k) assigns row k
// of a table (line first_case_line + 2k + 1). No CASE matches a value outside the table.
template <size_t count>
void select_row(int32_t select_line, const int16_t* selector, int32_t first_case_line,
                BasicString* variable, const char* const (&rows)[count]) {
    statement(select_line, [&] { case_value = *selector; });
    for (int32_t k = 0; k < static_cast<int32_t>(count); ++k) {
        if (test(first_case_line + 2 * k, [&] { return case_value == k; })) {
            statement(first_case_line + 2 * k + 1, [&] { assign_literal(variable, rows[k]); });
            return;
        }
    }
}

void color_foreground(int32_t colour) { screen_color(colour, 0, 0, 1); }
void cls() { screen_cls(0, 0, 0); }

// Storage for every variable, zeroed numbers and empty strings.
template <typename T>
T* take_cell() {
    T* cell = static_cast<T*>(variable_storage_take(sizeof(T)));
    *cell = 0;
    return cell;
}

BasicString* take_string() { return string_new(0, false); }

void create_variables() {
    item_number = take_cell<int16_t>();
    item_name = take_string();
    item_stage = take_cell<float>();
    first_item = take_string();
    number_draw = take_cell<int16_t>();
    colour_name = take_string();
    first_choice = take_cell<int16_t>();
    mood = take_string();
    mood_stage = take_cell<float>();
    crowd_number = take_cell<int16_t>();
    crowd = take_string();
    coin = take_cell<int16_t>();
    doorway_item = take_string();
    fall = take_cell<int16_t>();
    second_choice = take_cell<int16_t>();
    outside_draw = take_cell<int16_t>();
    ending_number = take_cell<int16_t>();
    ending_text = take_string();
    food_number = take_cell<int16_t>();
    food = take_string();
    taste_number = take_cell<int16_t>();
    taste = take_string();
    laugh_number = take_cell<int16_t>();
    answer = take_string();
    wake_return = take_cell<int16_t>();
    chaos_return = take_cell<float>();
    stairs_return = take_cell<int16_t>();
    fan_return = take_cell<float>();
    outside_return = take_cell<float>();
    snack_return = take_cell<float>();
    look_back_return = take_cell<float>();
    final_return = take_cell<float>();
}

}  // namespace

void program_main() {
    program_prologue();
    if (!variables_created) {
        create_variables();
        variables_created = true;
    }

    // ---- Scene 1: the item draw --------------------------------------------------------
    statement(39, [] { cls(); });
label_0:
    program_label(0, 40);
    statement(41, [] { randomize_timer(); });
    statement(42, [] { *item_number = random_below(10); });
    select_row(43, item_number, 44, item_name, kItemNames);
    if (test(69, [] { return *item_stage == 1; })) goto label_62;
    if (test(70, [] { return *item_stage == 2; })) goto label_86;
    if (test(71, [] { return *item_stage == 3; })) goto label_95;

    // ---- Scene 2: waking up ------------------------------------------------------------
    program_label(2, 75);
    statement(76, [] { string_assign(first_item, item_name); });
    statement(78, [] { randomize_timer(); });
    statement(79, [] { *number_draw = static_cast<int16_t>(random_below(4) + 1); });
    program_label(10, 85);
    statement(85, [] { print_items({"As the Light in your bedroom begins to grow, your eyes open and you"}); });
    program_label(20, 86);
    statement(86, [] { print_items({" start to awake. There seems to be a  "}); });
    statement(88, [] { case_value = *number_draw; });
    if (test(89, [] { return case_value == 1; })) {
        statement(90, [] { color_foreground(1); });
        statement(91, [] { assign_literal(colour_name, "blue"); });
    } else if (test(92, [] { return case_value == 2; })) {
        statement(93, [] { assign_literal(colour_name, "green"); });
        statement(94, [] { color_foreground(2); });
    } else if (test(95, [] { return case_value == 3; })) {
        statement(96, [] { color_foreground(3); });
        statement(97, [] { assign_literal(colour_name, "light blue"); });
    } else if (test(98, [] { return case_value == 4; })) {
        statement(99, [] { color_foreground(4); });
        statement(100, [] { assign_literal(colour_name, "red"); });
    }
    statement(103, [] { print_items({colour_name, " ", item_name, ""}); });
    statement(104, [] { color_foreground(7); });
    statement(106, [] { print_items({"lying on the floor."}); });
    statement(107, [] { ask("Press Return", kInputInteger, wake_return); });

    // ---- Scene 3: the first menu -------------------------------------------------------
label_30:
    program_label(30, 108);
    statement(109, [] { cls(); });
    statement(111, [] { print_items({""}); });
    statement(112, [] { print_items({""}); });
    statement(113, [] { print_items({"You Decide to:"}); });
    statement(114, [] { print_items({"1:Throw the ", item_name, " away."}); });
    statement(115, [] { print_items({"2:Take the ", item_name, " Outside."}); });
    statement(116, [] { print_items({"3:Ignore the ", item_name, " and go back to sleep"}); });
    statement(117, [] { ask(nullptr, kInputInteger, first_choice); });
    statement(118, [] { case_value = *first_choice; });
    if (!test(119, [] { return case_value == 1; })) goto case_200;

    // ---- Scene 4: the mood draw, a shared subroutine reached by jumps ------------------
label_40:
    program_label(40, 120);
    statement(123, [] { randomize_timer(); });
    statement(124, [] { *number_draw = random_below(10); });
    select_row(125, number_draw, 126, mood, kMoods);
    if (test(151, [] { return *mood_stage == 1; })) goto label_48;
    if (test(152, [] { return *mood_stage == 2; })) goto label_52;
    if (test(153, [] { return *mood_stage == 3; })) goto label_59;
    if (test(154, [] { return *mood_stage == 4; })) goto label_84;

    // ---- Scene 5: throwing the item away -----------------------------------------------
    statement(159, [] { print_items({"deciding to throw the ", item_name, " away, you are ", mood, " when you see a"}); });
    program_label(43, 160);
    statement(161, [] { randomize_timer(); });
    statement(163, [] { *crowd_number = random_below(10); });
    select_row(164, crowd_number, 165, crowd, kCrowds);
    program_label(45, 190);
    statement(191, [] { print_items({"a ", crowd, " crash through the wall leaving you feeling "}); });
    statement(192, [] { *mood_stage = 1.0f; });
    goto label_40;
label_48:
    program_label(48, 194);
    statement(196, [] { print_items({mood, "."}); });
    statement(197, [] { print_items({"You decide to ignore the chaos and go downstairs."}); });
    statement(198, [] { ask("Press Return", kInputSingle, chaos_return); });
    statement(199, [] { cls(); });
    goto label_80;

    // ---- Scene 6: taking the item outside ----------------------------------------------
case_200:
    if (!test(200, [] { return case_value == 2; })) goto case_246;
    program_label(50, 201);
    statement(202, [] { *mood_stage = 2.0f; });
    goto label_40;
label_52:
    program_label(52, 204);
    statement(206, [] { print_items({mood, ", from the sight of that ", item_name, " you decide it might be better"}); });
    statement(207, [] { print_items({"to leave it outside,"}); });
    program_label(55, 208);
    statement(211, [] { randomize_timer(); });
    statement(212, [] { *coin = random_below(2); });
    if (test(214, [] { return *coin == 0; })) goto label_60;
    if (test(215, [] { return *coin == 1; })) goto label_58;
label_58:
    program_label(58, 218);
    statement(219, [] { *mood_stage = 3.0f; });
    goto label_40;
label_59:
    program_label(59, 222);
    statement(224, [] { print_items({"You walk down the stairs feeling absolutely "}); });
    statement(225, [] { print_items({mood, "."}); });
    statement(226, [] { ask("press return", kInputInteger, stairs_return); });
    statement(227, [] { cls(); });
    goto label_80;
label_60:
    program_label(60, 229);
    statement(231, [] { *item_stage = 1.0f; });
    goto label_0;
label_62:
    program_label(62, 233);
    statement(234, [] { print_items({"on your way out the door you trip over a "}); });
    statement(235, [] { string_assign(doorway_item, item_name); });
    statement(236, [] { print_items({doorway_item, "."}); });
    statement(237, [] { randomize_timer(); });
    statement(238, [] { *fall = random_below(2); });
    if (test(240, [] { return *fall == 1; })) goto label_1000;
    statement(242, [] { print_items({"You stumble over the ", item_name, " safely though, and "}); });
    goto label_58;

    // ---- Scene 7: going back to sleep --------------------------------------------------
case_246:
    if (!test(246, [] { return case_value == 3; })) goto case_else_118;
    program_label(70, 247);
    statement(248, [] { cls(); });
    statement(249, [] { print_items({"ya roll back over and fall asleep..."}); });
    statement(250, [] { print_items({"ya lazybones you."}); });
    program_end();  // line 251
case_else_118:
    goto label_30;

    // ---- Scene 8: downstairs and the second menu ---------------------------------------
label_80:
    program_label(80, 257);
    statement(258, [] { *mood_stage = 4.0f; });
    goto label_40;
label_84:
    program_label(84, 260);
    statement(261, [] { *item_stage = 2.0f; });
    goto label_0;
label_86:
    program_label(86, 263);
    statement(266, [] { print_items({"As you arrive in the living room downstairs, you are ", mood, " to find"}); });
    statement(267, [] { print_items({"a ", item_name, " hanging from the ceiling fan. "}); });
    statement(268, [] { ask("press return", kInputSingle, fan_return); });
label_90:
    program_label(90, 269);
    statement(270, [] { cls(); });
    statement(271, [] { print_items({""}); });
    statement(272, [] { print_items({""}); });
    statement(273, [] { print_items({"right now you think it would be best if you:"}); });
    statement(274, [] { print_items({"1.Ran outside screaming."}); });
    statement(275, [] { print_items({"2.Got something to eat."}); });
    statement(276, [] { print_items({"3.Laugh hysterically."}); });
    statement(277, [] { ask(nullptr, kInputInteger, second_choice); });
    statement(278, [] { cls(); });
    statement(280, [] { case_value = *second_choice; });
    if (!test(282, [] { return case_value == 1; })) goto case_331;

    // ---- Scene 9: running outside, and the shared ending draw --------------------------
    statement(284, [] { *outside_draw = random_below(2); });
    if (test(285, [] { return *outside_draw == 0; })) goto label_92;
    if (test(286, [] { return *outside_draw == 1; })) goto label_94;
label_92:
    program_label(92, 289);
    statement(290, [] { print_items({"you walk outside, with no problems at all"}); });
    goto label_100;
label_94:
    program_label(94, 292);
    statement(293, [] { *item_stage = 3.0f; });
    goto label_0;
label_95:
    program_label(95, 295);
    statement(297, [] { print_items({"you trip over a ", item_name, "on your way out, but you feel fine,"}); });
    goto label_100;
label_100:
    program_label(100, 308);
    statement(309, [] { *ending_number = random_below(5); });
    statement(310, [] { case_value = *ending_number; });
    if (test(311, [] { return case_value == 0; })) {
        statement(312, [] { assign_literal(ending_text, kEndingTexts[0]); });
        goto label_1000;
    }
    for (int32_t k = 1; k <= 4; ++k) {
        if (test(312 + 2 * k, [k] { return case_value == k; })) {
            statement(313 + 2 * k, [k] { assign_literal(ending_text, kEndingTexts[k]); });
            break;
        }
    }
    statement(326, [] { print_items({"You stumble out side, and "}); });
    statement(327, [] { print_items({ending_text}); });
    statement(328, [] { ask("press return", kInputSingle, outside_return); });
    statement(329, [] { cls(); });
    goto label_1000;

    // ---- Scene 10: something to eat ----------------------------------------------------
case_331:
    if (!test(331, [] { return case_value == 2; })) goto case_387;
    program_label(110, 332);
    statement(334, [] { *food_number = random_below(10); });
    select_row(335, food_number, 336, food, kFoods);
    program_label(116, 361);
    statement(362, [] { *taste_number = random_below(4); });
    select_row(363, taste_number, 364, taste, kTastes);
    statement(377, [] { print_items({"You wander into the kitchen hopin to grab somethin to eat,"}); });
    statement(378, [] { print_items({"but theres only ", food, "."}); });
    statement(379, [] { print_items({"..."}); });
    statement(380, [] { print_items({"..."}); });
    statement(381, [] { print_items({"you decide to eat the ", food, " and you find it absolutely ", taste}); });
    statement(382, [] { print_items({"after your snack, you head outside."}); });
    statement(383, [] { ask("press return", kInputSingle, snack_return); });
    statement(384, [] { cls(); });
    goto label_100;

    // ---- Scene 11: laughing ------------------------------------------------------------
case_387:
    if (!test(387, [] { return case_value == 3; })) goto case_else_280;
    program_label(120, 388);
    statement(390, [] { print_items({"you laugh hysterically to yourself, and suddenly,"}); });
    program_label(122, 391);
    statement(392, [] { *laugh_number = random_below(4); });
    statement(393, [] { case_value = *laugh_number; });
    if (test(394, [] { return case_value == 0; })) {
        statement(395, [] { print_items({"you spontaneously combust, and burst into flames."}); });
        goto label_1000;
    }
    if (test(397, [] { return case_value == 1; })) {
        statement(398, [] { print_items({"slip on a pile of laundry, and break your neck"}); });
        goto label_1000;
    }
    if (test(400, [] { return case_value == 2; })) {
        statement(401, [] { print_items({"a giant squid crashes through the wall devouring you."}); });
        goto label_1000;
    }
    if (test(403, [] { return case_value == 3; })) {
        statement(404, [] { print_items({"nothing exciting happens, and you wander outside"}); });
        goto label_100;
    }
    goto label_1000;
case_else_280:
    goto label_90;

    // ---- Scene 12: the ending check and the final question -----------------------------
label_1000:
    program_label(1000, 422);
    if (test(423, [] { return *fall == 1; })) {
        statement(424, [] { print_items({"You fall down the stairs sadly breaking your neck :("}); });
        statement(425, [] { play_string(literal("gfedc")); });
    }
    program_label(2000, 439);
    statement(440, [] { print_items({"Well done, what an excellent end to a great adventure!"}); });
    statement(441, [] { print_items({"but we are only halfway done!"}); });
    statement(442, [] { print_items({"I think it is now time to Look Back..."}); });
    statement(443, [] { ask("press return", kInputSingle, look_back_return); });
    statement(444, [] { cls(); });
    statement(445, [] { print_items({"Now if we Look Back to the beginning, "}); });
    statement(446, [] { print_items({"What was the name of the item on the floor when you woke up?"}); });
    statement(447, [] { ask(nullptr, kInputString, answer); });
    if (test(448, [] { return string_equal(answer, first_item) != 0; })) {
        statement(449, [] { print_items({"You Win!"}); });
    } else {
        statement(450, [] { print_items({"nope wrooong"}); });
    }
    statement(453, [] { ask("press return", kInputSingle, final_return); });
    statement(454, [] { cls(); });
    program_end();  // line 455
}
