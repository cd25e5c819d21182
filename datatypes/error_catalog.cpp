// The error catalog: the table of categories, ids and message templates, and
// the building of the catalog object from it (see error_catalog.hpp).
#include "datatypes/error_catalog.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"

namespace qor::error_catalog_detail {
// The error machinery's life stamp (error.cpp): a catalog serves the
// machinery made by the error::init before its install.
uint32_t current_cookie();
void set_catalog_cookie(uint32_t cookie);
}  // namespace qor::error_catalog_detail

namespace qor::error_catalog {

namespace {

// ORDER ERROR-CATALOG: an id's position in its list is its code less the
// category's base; scripts and stored errors rely on the numbers.

// throw: codes 0..4
const IdEntry k_throw[] = {
    {"break", R"~("no loop to break")~"},
    {"return", R"~("return or exit not in function")~"},
    {"throw", R"~(["no catch for throw:" :arg1])~"},
    {"continue", R"~("no loop to continue")~"},
    {"while-cond", R"~("BREAK/CONTINUE cannot be used in WHILE condition block")~"},
};

// note: codes 100..100
const IdEntry k_note[] = {
    {"no-load", R"~(["cannot load: " :arg1])~"},
};

// syntax: codes 200..206
const IdEntry k_syntax[] = {
    {"invalid", R"~([:arg1 "invalid" :arg2 "at" :arg3])~"},
    {"missing", R"~([:arg1 "missing" :arg2 "at" :arg3])~"},
    {"no-header", R"~(["script is missing a Qor header:" :arg1])~"},
    {"no-qs-header", R"~(["script is missing a Qor/System header:" :arg1])~"},
    {"bad-header", R"~(["script header is not valid:" :arg1])~"},
    {"malconstruct", R"~([:arg1 "invalid construction spec at" :arg2])~"},
    {"bad-char", R"~([:arg1 "invalid character at" :arg2])~"},
};

// script: codes 300..393
const IdEntry k_script[] = {
    {"no-value", R"~([:arg1 "has no value"])~"},
    {"need-value", R"~([:arg1 "needs a value"])~"},
    {"not-defined", R"~([:arg1 "word is not bound to a context"])~"},
    {"not-in-context", R"~(["context for" :arg1 "is not available"])~"},
    {"no-arg", R"~([:arg1 "is missing its" :arg2 "argument"])~"},
    {"expect-arg", R"~([:arg1 "does not allow" :arg2 "for its" :arg3 "argument"])~"},
    {"expect-val", R"~(["expected" :arg1 "not" :arg2])~"},
    {"expect-type", R"~([:arg1 :arg2 "field must be of type" :arg3])~"},
    {"cannot-use", R"~(["cannot use" :arg1 "on" :arg2 "value"])~"},
    {"invalid-arg", R"~(["invalid argument:" :arg1])~"},
    {"invalid-type", R"~([:arg1 "type is not allowed here"])~"},
    {"invalid-type-spec", R"~(["invalid type specifier:" :arg1])~"},
    {"invalid-key-type", R"~(["invalid key type:" :arg1])~"},
    {"invalid-op", R"~(["invalid operator:" :arg1])~"},
    {"no-op-arg", R"~([:arg1 "operator is missing an argument"])~"},
    {"bad-op-spec", R"~("making an op! requires a function with only 2 arguments and no lit/get-word on left argument")~"},
    {"invalid-data", R"~(["data not in correct format:" :arg1])~"},
    {"invalid-part", R"~(["invalid /part count:" :arg1])~"},
    {"not-same-type", R"~("values must be of the same type")~"},
    {"not-same-class", R"~(["cannot coerce" :arg1 "to" :arg2])~"},
    {"not-related", R"~(["incompatible argument for" :arg1 "of" :arg2])~"},
    {"bad-func-def", R"~(["invalid function definition:" :arg1])~"},
    {"bad-func-arg", R"~(["function argument" :arg1 "is not valid"])~"},
    {"bad-func-extern", R"~(["invalid /extern value:" :arg1])~"},
    {"no-refine", R"~([:arg1 "has no refinement called" :arg2])~"},
    {"bad-refines", R"~("incompatible or invalid refinements")~"},
    {"bad-refine", R"~(["invalid refinement value:" :arg1])~"},
    {"dup-refine", R"~(["duplicate refinement usage in:" :arg1])~"},
    {"word-first", R"~(["path must start with a word:" :arg1])~"},
    {"empty-path", R"~("cannot evaluate an empty path value")~"},
    {"unset-path", R"~([:arg2 "is unset in path" :arg1])~"},
    {"invalid-path", R"~(["cannot access" :arg2 "in path" :arg1])~"},
    {"invalid-path-set", R"~(["unsupported type in" :arg1 "set-path"])~"},
    {"invalid-path-get", R"~(["unsupported type in" :arg1 "get-path"])~"},
    {"bad-path-type", R"~([:arg3 "returned a" :arg2 "value, so" :arg1 "could not be accessed"])~"},
    {"bad-path-type2", R"~(["path element >" :arg1 "< does not apply to" :arg2 "type"])~"},
    {"bad-path-set", R"~(["cannot set" :arg2 "in path" :arg1])~"},
    {"bad-field-set", R"~(["cannot set" :arg1 "field to" :arg2 "datatype"])~"},
    {"dup-vars", R"~(["duplicate variable specified:" :arg1])~"},
    {"past-end", R"~("out of range or past end")~"},
    {"missing-arg", R"~("missing a required argument or refinement")~"},
    {"out-of-range", R"~(["value out of range:" :arg1])~"},
    {"invalid-chars", R"~("contains invalid characters")~"},
    {"invalid-compare", R"~(["cannot compare" :arg1 "with" :arg2])~"},
    {"wrong-type", R"~(["datatype assertion failed for:" :arg1])~"},
    {"invalid-refine-arg", R"~(["invalid" :arg1 "argument:" :arg2])~"},
    {"type-limit", R"~([:arg1 "overflow/underflow"])~"},
    {"size-limit", R"~(["maximum limit reached:" :arg1])~"},
    {"no-return", R"~("block did not return a value")~"},
    {"throw-usage", R"~("invalid use of a thrown error value")~"},
    {"locked-word", R"~(["protected word - cannot modify:" :arg1])~"},
    {"protected", R"~("protected value or series - cannot modify")~"},
    {"bad-bad", R"~([:arg1 "error:" :arg2])~"},
    {"bad-make-arg", R"~(["cannot MAKE" :arg1 "from:" :arg2])~"},
    {"bad-to-arg", R"~(["cannot MAKE/TO" :arg1 "from:" :arg2])~"},
    {"invalid-months", R"~("invalid system/locale/month list")~"},
    {"invalid-spec-field", R"~(["invalid" :arg1 "field in spec block"])~"},
    {"missing-spec-field", R"~([:arg1 "not found in spec block"])~"},
    {"move-bad", R"~(["Cannot MOVE elements from" :arg1 "to" :arg2])~"},
    {"too-long", R"~("Content too long")~"},
    {"invalid-char", R"~(["Invalid char! value:" :arg1])~"},
    {"bad-loop-series", R"~(["Loop series changed to invalid value:" :arg1])~"},
    {"wrong-denom", R"~([:arg1 "not same denomination as" :arg2])~"},
    {"bad-denom", R"~(["invalid denomination:" :arg1])~"},
    {"invalid-obj-evt", R"~(["invalid object event handler:" :arg1])~"},
    {"parse-rule", R"~(["PARSE - invalid rule or usage of rule:" :arg1])~"},
    {"parse-end", R"~(["PARSE - unexpected end of rule after:" :arg1])~"},
    {"parse-invalid-ref", R"~(["PARSE - get-word refers to a different series!" :arg1])~"},
    {"parse-block", R"~(["PARSE - input must be of any-block! type:" :arg1])~"},
    {"parse-unsupported", R"~("PARSE - matching by datatype not supported for any-string! input")~"},
    {"parse-infinite", R"~(["PARSE - infinite recursion at rule: [" :arg1 "]"])~"},
    {"parse-stack", R"~("PARSE - stack limit reached")~"},
    {"parse-keep", R"~("PARSE - KEEP is used without a wrapping COLLECT")~"},
    {"parse-into-bad", R"~("PARSE - COLLECT INTO/AFTER invalid series! argument")~"},
    {"parse-into-type", R"~("PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype")~"},
    {"draw-invalid", R"~(["DRAW - invalid input at:" :arg1])~"},
    {"draw-infinite", R"~(["DRAW - infinite recursion at:" :arg1])~"},
    {"invalid-data-facet", R"~(["invalid DATA facet content" :arg1])~"},
    {"face-type", R"~(["VIEW - invalid face type:" :arg1])~"},
    {"not-window", R"~("VIEW - expected a window root face")~"},
    {"bad-window", R"~("VIEW - a window face cannot be nested in another window")~"},
    {"not-linked", R"~("VIEW - face not linked to a window")~"},
    {"not-event-type", R"~(["VIEW - not a valid event type" :arg1])~"},
    {"invalid-facet-type", R"~(["VIEW - invalid rate value:" :arg1])~"},
    {"vid-invalid-syntax", R"~(["VID - invalid syntax at:" :arg1])~"},
    {"rtd-invalid-syntax", R"~(["RTD - invalid syntax at:" :arg1])~"},
    {"rtd-no-match", R"~(["RTD - opening/closing tag not matching for:" :arg1])~"},
    {"react-bad-func", R"~("REACT - /LINK option requires a function! as argument")~"},
    {"react-not-enough", R"~("REACT - reactive functions must accept at least 2 arguments")~"},
    {"react-no-match", R"~("REACT - objects block length must match reaction function arg count")~"},
    {"react-bad-obj", R"~("REACT - target can only contain object values")~"},
    {"react-gctx", R"~(["REACT - word" :arg1 "is not a reactor's field"])~"},
    {"lib-invalid-arg", R"~(["LIBQOR - invalid argument for" :arg1])~"},
    {"qb-invalid-record", R"~(["QORBIN - invalid record at index" :arg1])~"},
};

// math: codes 400..402
const IdEntry k_math[] = {
    {"zero-divide", R"~("attempt to divide by zero")~"},
    {"overflow", R"~("math or number overflow")~"},
    {"positive", R"~("positive number required")~"},
};

// access: codes 500..514
const IdEntry k_access[] = {
    {"cannot-open", R"~(["cannot open:" :arg1])~"},
    {"cannot-close", R"~(["cannot close:" :arg1])~"},
    {"invalid-utf8", R"~(["invalid UTF-8 encoding:" :arg1])~"},
    {"not-open", R"~(["port is not open:" :arg1])~"},
    {"no-connect", R"~(["cannot connect:" :arg1 "reason: timeout"])~"},
    {"no-scheme", R"~(["missing port scheme:" :arg1])~"},
    {"unknown-scheme", R"~(["scheme is unknown:" :arg1])~"},
    {"invalid-spec", R"~(["invalid spec or options:" :arg1])~"},
    {"invalid-port", R"~(["invalid port object (invalid field values)"])~"},
    {"invalid-actor", R"~(["invalid port actor (must be handle or object)"])~"},
    {"no-port-action", R"~("port action not supported")~"},
    {"no-create", R"~(["cannot create:" :arg1])~"},
    {"no-codec", R"~(["cannot decode or encode (no codec):" :arg1])~"},
    {"bad-media", R"~(["bad media data (corrupt image, sound, video)"])~"},
    {"invalid-cmd", R"~(["invalid port command:" :arg1])~"},
};

// user: codes 800..800
const IdEntry k_user[] = {
    {"message", R"~(arg1)~"},
};

// internal: codes 900..913
const IdEntry k_internal[] = {
    {"bad-path", R"~(["bad path:" arg1])~"},
    {"not-here", R"~([arg1 "not supported on your system"])~"},
    {"no-memory", R"~("not enough memory")~"},
    {"wrong-mem", R"~("failed to release memory")~"},
    {"stack-overflow", R"~("stack overflow")~"},
    {"limit-hit", R"~(["internal limit reached:" :arg1])~"},
    {"too-deep", R"~("block or paren series is too deep to process")~"},
    {"no-cycle", R"~("circular reference not allowed")~"},
    {"feature-na", R"~("feature not available")~"},
    {"not-done", R"~("reserved for future use (or not yet implemented)")~"},
    {"invalid-error", R"~(["invalid error object field value:" :arg1])~"},
    {"routines", R"~("routines require compilation, from OS shell: `qor -r <script.qor>`")~"},
    {"qor-system", R"~("contains Qor/System code which requires compilation")~"},
    {"deprecated", R"~([arg1 "is DEPRECATED, please use" arg2 "instead"])~"},
};

const CategoryEntry k_categories[CATEGORY_COUNT] = {
    {"throw", "Throw Error", k_throw, 5},
    {"note", "note", k_note, 1},
    {"syntax", "Syntax Error", k_syntax, 7},
    {"script", "Script Error", k_script, 94},
    {"math", "Math Error", k_math, 3},
    {"access", "Access Error", k_access, 15},
    {"reserved1", "Reserved1 Error", nullptr, 0},
    {"reserved2", "Reserved2 Error", nullptr, 0},
    {"user", "User Error", k_user, 1},
    {"internal", "Internal Error", k_internal, 14},
};

Cell g_installed{TYPE_NONE, 0, 0, 0};
bool g_registered = false;

// ---- Reading a template -------------------------------------------------------------------
// Templates are written as Qor text restricted to what the catalog uses:
// "strings" (no escapes), :get-words, words and one level of [block].

struct Reader {
    const char* p;

    void skip_blanks() {
        while (*p == ' ') p++;
    }

    // One value into `out`.
    void value(Cell* out) {
        skip_blanks();
        if (*p == '"') {
            const char* start = ++p;
            while (*p && *p != '"') p++;
            *out = string::from_utf8(start, size_t(p - start));
            if (*p) p++;
            return;
        }
        uint32_t type = TYPE_WORD;
        if (*p == ':') {
            type = TYPE_GET_WORD;
            p++;
        }
        const char* start = p;
        while (*p && *p != ' ' && *p != ']') p++;
        char name[64];
        size_t n = size_t(p - start) < sizeof name - 1 ? size_t(p - start) : sizeof name - 1;
        std::memcpy(name, start, n);
        name[n] = 0;
        *out = *word::make_from_c_string(name);
        out->header = type;
    }

    // The whole template: a block, or one value.
    void template_value(Cell* out) {
        skip_blanks();
        if (*p != '[') {
            value(out);
            return;
        }
        p++;
        *out = block::make(4);
        Cell item{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep(&item);
        for (skip_blanks(); *p && *p != ']'; skip_blanks()) {
            value(&item);
            block::append_copy(out, &item);
        }
    }
};

// Adds a field to an object (the symbol must be new to it).
void add_field(Cell* obj, const char* name, const Cell* value) {
    Cell w = *word::make_from_c_string(name);
    gc::CellRoot keep(&w);
    context::find_or_append(object::context_of(obj), &w, value);
}

}  // namespace

const CategoryEntry& category(uint32_t index) { return k_categories[index]; }

int32_t category_index(const char* name) {
    for (uint32_t i = 0; i < CATEGORY_COUNT; i++)
        if (std::strcmp(k_categories[i].name, name) == 0) return int32_t(i);
    return -1;
}

int32_t id_index(uint32_t cat, const char* id) {
    if (cat >= CATEGORY_COUNT) return -1;
    for (uint32_t i = 0; i < k_categories[cat].count; i++)
        if (std::strcmp(k_categories[cat].ids[i].id, id) == 0) return int32_t(i);
    return -1;
}

int32_t code_of(const char* cat, const char* id) {
    int32_t c = category_index(cat);
    int32_t i = c < 0 ? -1 : id_index(uint32_t(c), id);
    return i < 0 ? -1 : c * 100 + i;
}

uint32_t total_ids() {
    uint32_t n = 0;
    for (const CategoryEntry& c : k_categories) n += c.count;
    return n;
}

Cell build() {
    // The catalog is a boot-time structure: its objects share the boot class.
    bool saved = object::boot_classes();
    struct Restore {
        bool on;
        ~Restore() { object::set_boot_classes(on); }
    } restore{saved};
    object::set_boot_classes(true);

    Cell errors{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_errors(&errors);
    object::init_cell(&errors, int32_t(CATEGORY_COUNT));
    for (uint32_t c = 0; c < CATEGORY_COUNT; c++) {
        const CategoryEntry& entry = k_categories[c];
        Cell cat{TYPE_NONE, 0, 0, 0}, value{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_cat(&cat), keep_value(&value);
        object::init_cell(&cat, int32_t(entry.count + 2));
        value = Cell{TYPE_INTEGER, 0, c * 100, 0};
        add_field(&cat, "code", &value);
        value = string::from_utf8(entry.type);
        add_field(&cat, "type", &value);
        for (uint32_t i = 0; i < entry.count; i++) {
            Reader r{entry.ids[i].message};
            r.template_value(&value);
            add_field(&cat, entry.ids[i].id, &value);
        }
        cat.data2 = uint32_t(object::new_class_id());
        object::build_info(&cat);
        add_field(&errors, entry.name, &cat);
    }
    errors.data2 = uint32_t(object::new_class_id());
    object::build_info(&errors);
    return errors;
}

void install(const Cell* errors) {
    if (g_registered) gc::unregister_global_cell(&g_installed);
    g_installed = *errors;
    gc::register_global_cell(&g_installed);
    g_registered = true;
    error_catalog_detail::set_catalog_cookie(error_catalog_detail::current_cookie());
}

Cell* installed() { return g_registered && type_of(&g_installed) == TYPE_OBJECT ? &g_installed : nullptr; }

void uninstall() {
    if (g_registered && memory::initialised()) gc::unregister_global_cell(&g_installed);
    g_registered = false;
    g_installed = Cell{TYPE_NONE, 0, 0, 0};
}

}  // namespace qor::error_catalog
