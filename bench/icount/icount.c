/* A plugin for qemu's user-mode emulator that counts the guest instructions
 * a program executes: a figure that stays the same from run to run, where
 * an emulated program's time varies by tens of percent.  With prof=FILE it
 * also writes, for each translated block, its address, its length in
 * instructions and how often it ran (from=N and to=N limit that to a window
 * of the total); mark=ADDR prints the total each time the code at ADDR runs.
 *
 * The few declarations of qemu's plugin interface it uses are written out
 * here (plugin API version 1, as in qemu 7.2), so no qemu headers are needed.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef uint64_t qemu_plugin_id_t;
struct qemu_plugin_tb;
enum qemu_plugin_cb_flags { QEMU_PLUGIN_CB_NO_REGS };
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };
typedef void (*tb_trans_cb)(qemu_plugin_id_t, struct qemu_plugin_tb *);
typedef void (*udata_cb)(qemu_plugin_id_t, void *);
typedef void (*vcpu_udata_cb)(unsigned int, void *);
void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t, tb_trans_cb);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb *);
uint64_t qemu_plugin_tb_vaddr(const struct qemu_plugin_tb *);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb *, enum qemu_plugin_op, void *, uint64_t);
void qemu_plugin_register_vcpu_tb_exec_cb(struct qemu_plugin_tb *, vcpu_udata_cb, enum qemu_plugin_cb_flags,
                                          void *);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t, udata_cb, void *);
void qemu_plugin_outs(const char *);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

typedef struct {
    uint64_t pc, length, runs;
} Block;

#define TABLE_SIZE (1u << 22)
#define MAX_MARKS 64

static uint64_t total;
static const char *profile_path;
static uint64_t window_from, window_to = UINT64_MAX;
static uint64_t marks[MAX_MARKS];
static int mark_count;
static Block **table;

static Block *block_at(uint64_t pc, uint64_t length) {
    uint64_t h = (pc * 0x9E3779B97F4A7C15ull) >> 42;
    for (;; h++) {
        h &= TABLE_SIZE - 1;
        Block *b = table[h];
        if (!b) {
            b = calloc(1, sizeof *b);
            b->pc = pc;
            b->length = length;
            table[h] = b;
            return b;
        }
        if (b->pc == pc && b->length == length) return b;
    }
}

static void on_run(unsigned int vcpu, void *data) {
    (void)vcpu;
    if (total >= window_from && total < window_to) ((Block *)data)->runs++;
}

static void on_mark(unsigned int vcpu, void *data) {
    (void)vcpu;
    char line[96];
    snprintf(line, sizeof line, "mark %llx at %llu\n", (unsigned long long)(uintptr_t)data,
             (unsigned long long)total);
    qemu_plugin_outs(line);
}

static void on_translate(qemu_plugin_id_t id, struct qemu_plugin_tb *tb) {
    (void)id;
    size_t n = qemu_plugin_tb_n_insns(tb);
    uint64_t pc = qemu_plugin_tb_vaddr(tb);
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &total, n);
    for (int i = 0; i < mark_count; i++)
        if (marks[i] == pc)
            qemu_plugin_register_vcpu_tb_exec_cb(tb, on_mark, QEMU_PLUGIN_CB_NO_REGS, (void *)(uintptr_t)pc);
    if (profile_path)
        qemu_plugin_register_vcpu_tb_exec_cb(tb, on_run, QEMU_PLUGIN_CB_NO_REGS, block_at(pc, n));
}

static void on_exit_(qemu_plugin_id_t id, void *data) {
    (void)id;
    (void)data;
    char line[64];
    snprintf(line, sizeof line, "instructions: %llu\n", (unsigned long long)total);
    qemu_plugin_outs(line);
    if (!profile_path) return;
    FILE *f = fopen(profile_path, "w");
    if (!f) return;
    for (uint32_t i = 0; i < TABLE_SIZE; i++) {
        Block *b = table[i];
        if (b && b->runs)
            fprintf(f, "%llx %llu %llu\n", (unsigned long long)b->pc, (unsigned long long)b->length,
                    (unsigned long long)b->runs);
    }
    fclose(f);
}

__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const void *info, int argc,
                                                               char **argv) {
    (void)info;
    for (int i = 0; i < argc; i++) {
        if (!strncmp(argv[i], "prof=", 5)) profile_path = argv[i] + 5;
        else if (!strncmp(argv[i], "from=", 5)) window_from = strtoull(argv[i] + 5, NULL, 10);
        else if (!strncmp(argv[i], "to=", 3)) window_to = strtoull(argv[i] + 3, NULL, 10);
        else if (!strncmp(argv[i], "mark=", 5) && mark_count < MAX_MARKS)
            marks[mark_count++] = strtoull(argv[i] + 5, NULL, 16);
    }
    if (profile_path) {
        table = calloc(TABLE_SIZE, sizeof *table);
        if (!table) return -1;
    }
    qemu_plugin_register_vcpu_tb_trans_cb(id, on_translate);
    qemu_plugin_register_atexit_cb(id, on_exit_, NULL);
    return 0;
}
