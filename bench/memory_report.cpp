// How much memory one trial touches: the next Position built by
// brox_adjudicate (its block of Position record and Units, and the chunks
// of its candidate Orders), for the classic boards and the slowest kind of
// large board.  The program brings its own allocator, which fills every
// block with a marker byte before handing it out; a byte of the next
// Position's blocks that no longer holds the marker was written (two
// passes, two markers, so that a byte written with one marker's value is
// still seen).  For each board it prints the bytes of the blocks, the
// bytes written, the 64-byte lines those lie in, and the floor: the bytes
// written, packed into as few lines as they fill.
//
//   brox_memory_report
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "classic.h"
#include "common/memory.h"

namespace {

struct Block {
    size_t size;
    unsigned long serial;  // allocations before this one
};

uint8_t marker = 0xA5;
unsigned long allocations = 0;
std::map<const uint8_t *, Block> live;  // every block handed out and not released

}  // namespace

void *mem_alloc(size_t size) {
    auto *block = static_cast<uint8_t *>(std::malloc(size ? size : 1));
    if (!block) return nullptr;
    std::memset(block, marker, size);
    live[block] = {size, allocations++};
    return block;
}

void mem_release(void *block) {
    if (!block) return;
    live.erase(static_cast<uint8_t *>(block));
    std::free(block);
}

unsigned long mem_failures() { return 0; }

namespace {

constexpr size_t LINE = 64;

struct Touched {
    size_t block_bytes = 0;  // bytes of the blocks the trial left behind
    size_t written = 0;      // bytes that no longer hold the marker
    size_t lines = 0;        // 64-byte lines holding a written byte
};

// The blocks a trial leaves behind (the next Position's), in allocation
// order, each with a mask of the bytes written in it under the current
// marker.
std::map<unsigned long, std::vector<bool>> trial_writes(Position *position) {
    unsigned long first_serial = allocations;
    Position *next = brox_adjudicate(position);
    std::map<unsigned long, std::vector<bool>> writes;
    for (const auto &[block, held] : live) {
        if (held.serial < first_serial) continue;
        std::vector<bool> mask(held.size);
        for (size_t b = 0; b < held.size; b++) mask[b] = block[b] != marker;
        writes[held.serial - first_serial] = mask;
    }
    brox_position_free(next);
    return writes;
}

// The two passes allocate alike, so their blocks are matched in
// allocation order.
Touched measure(Position *position) {
    marker = 0xA5;
    auto first = trial_writes(position);
    marker = 0x5A;
    auto second = trial_writes(position);
    Touched touched;
    auto a = first.begin();
    auto b = second.begin();
    for (; a != first.end() && b != second.end(); ++a, ++b) {
        const std::vector<bool> &one = a->second, &two = b->second;
        touched.block_bytes += one.size();
        for (size_t at = 0; at < one.size(); at += LINE) {
            bool line = false;
            for (size_t x = at; x < at + LINE && x < one.size(); x++) {
                bool written = one[x] || (x < two.size() && two[x]);
                touched.written += written;
                line |= written;
            }
            touched.lines += line;
        }
    }
    return touched;
}

void report(const char *label, const std::string &name, const std::string &folder) {
    ClassicBoard board(name, folder);
    Position *position = board.build();
    if (!position) {
        std::printf("%-16s missing\n", label);
        return;
    }
    Touched touched = measure(position);
    std::printf("%-16s blocks %8zu B  written %7zu B  lines %5zu (%7zu B)  floor %5zu lines (%7zu B)\n", label,
                touched.block_bytes, touched.written, touched.lines, touched.lines * LINE,
                (touched.written + LINE - 1) / LINE, (touched.written + LINE - 1) / LINE * LINE);
    brox_position_free(position);
}

}  // namespace

int main() {
    std::printf("sizeof: Position %zu, Unit %zu, Order %zu, ProvinceState %zu, LocationState %zu\n", sizeof(Position),
                sizeof(Unit), sizeof(Order), sizeof(ProvinceState), sizeof(LocationState));
    std::printf("one trial, every unit holding (the next Position's blocks):\n");
    for (const char *name : CLASSIC_POSITIONS) report(name, name, BROX_CLASSIC_DIR);
    for (const char *name : {"01", "02", "08"}) report((std::string("large-") + name).c_str(), name, BROX_LARGE_DIR);
    return 0;
}
