// The intrusive AVL trees, checked against std::set under random inserts and
// removes: order, first/last/count, parent links, heights and balance; the
// one-pass build from sorted items, and the candidate sets built with it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <set>
#include <vector>

#include "brox.h"
#include "tools/mapgen/mapgen.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/order.h"
#include "world/position.h"

namespace {

struct Item {
    int key;
    char padding[13];  // keeps the node away from offset 0
    LumAvlNode node;
};

int compare_items(const void *a, const void *b) {
    int x = static_cast<const Item *>(a)->key;
    int y = static_cast<const Item *>(b)->key;
    return x < y ? -1 : x > y ? 1 : 0;
}

LumAvlTree empty_tree() {
    LumAvlTree tree{};
    tree.compare = compare_items;
    tree.node_offset = offsetof(Item, node);
    return tree;
}

void prepare(Item &item) {
    item.node.left = item.node.right = item.node.parent = nullptr;
    item.node.height = item.node.spare = -1;
}

// Checks links, heights and balance below `node`; returns the height.
int check_subtree(const LumAvlTree &tree, LumAvlNode *node, LumAvlNode *parent, int *nodes) {
    if (!node) return 0;
    (*nodes)++;
    EXPECT_EQ(node->parent, parent);
    int left = check_subtree(tree, node->left, node, nodes);
    int right = check_subtree(tree, node->right, node, nodes);
    EXPECT_LE(std::abs(left - right), 1);
    int height = std::max(left, right) + 1;
    EXPECT_EQ(node->height, height);
    return height;
}

void check_tree(LumAvlTree &tree, const std::set<int> &expected) {
    int nodes = 0;
    int height = check_subtree(tree, tree.root, nullptr, &nodes);
    ASSERT_EQ(nodes, static_cast<int>(expected.size()));
    ASSERT_EQ(tree.count, expected.size());
    // The AVL height bound: h < 1.4405 log2(n + 2).
    EXPECT_LT(height, 1.4405 * std::log2(expected.size() + 2.0) + 0.01);
    std::vector<int> walked;
    for (void *item = LUM_AVL_ITEM(&tree, tree.first); item;
         item = lum_avl_next(&tree, &static_cast<Item *>(item)->node))
        walked.push_back(static_cast<Item *>(item)->key);
    ASSERT_EQ(walked, std::vector<int>(expected.begin(), expected.end()));
    if (expected.empty()) {
        EXPECT_EQ(tree.root, nullptr);
        EXPECT_EQ(tree.first, nullptr);
        EXPECT_EQ(tree.last, nullptr);
    } else {
        EXPECT_EQ(static_cast<Item *>(LUM_AVL_ITEM(&tree, tree.last))->key, *expected.rbegin());
    }
}

TEST(Trees, RandomInsertsAndRemovesMatchAReferenceSet) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; round++) {
        std::vector<Item> items(300);
        for (int k = 0; k < 300; k++) items[k].key = k;
        LumAvlTree tree = empty_tree();
        std::set<int> expected;
        for (int step = 0; step < 2000; step++) {
            Item &item = items[random() % items.size()];
            if (expected.count(item.key)) {
                EXPECT_EQ(lum_avl_find(&tree, &item), &item);
                if (random() % 2) {
                    lum_avl_remove(&tree, &item.node);
                    expected.erase(item.key);
                }
            } else {
                EXPECT_EQ(lum_avl_find(&tree, &item), nullptr);
                prepare(item);
                lum_avl_insert(&tree, &item.node);
                expected.insert(item.key);
            }
            if (step % 97 == 0) check_tree(tree, expected);
        }
        check_tree(tree, expected);
    }
}

TEST(Trees, AscendingAndDescendingInsertsStayBalanced) {
    for (int direction : {1, -1}) {
        std::vector<Item> items(1000);
        LumAvlTree tree = empty_tree();
        std::set<int> expected;
        for (int k = 0; k < 1000; k++) {
            items[k].key = direction * k;
            prepare(items[k]);
            lum_avl_insert(&tree, &items[k].node);
            expected.insert(items[k].key);
        }
        check_tree(tree, expected);
        // Remove every other item, then the rest from the top.
        for (int k = 0; k < 1000; k += 2) {
            lum_avl_remove(&tree, &items[k].node);
            expected.erase(items[k].key);
        }
        check_tree(tree, expected);
        for (int k = 999; k >= 0; k -= 2) {
            lum_avl_remove(&tree, &items[k].node);
            expected.erase(items[k].key);
            if (k % 100 == 1) check_tree(tree, expected);
        }
        check_tree(tree, expected);
    }
}

TEST(Trees, EmptyingReleasesEveryItemOnceWithTheArgument) {
    std::vector<Item> items(257);
    LumAvlTree tree = empty_tree();
    for (int k = 0; k < 257; k++) {
        items[k].key = (k * 37) % 257;
        prepare(items[k]);
        lum_avl_insert(&tree, &items[k].node);
    }
    static std::vector<int> released;
    static std::vector<int> arguments;
    released.clear();
    arguments.clear();
    lum_avl_node_empty(&tree, tree.root, [](void *item, int arg) {
        released.push_back(static_cast<Item *>(item)->key);
        arguments.push_back(arg);
    }, 5);
    std::set<int> distinct(released.begin(), released.end());
    EXPECT_EQ(released.size(), 257u);
    EXPECT_EQ(distinct.size(), 257u);
    EXPECT_EQ(std::set<int>(arguments.begin(), arguments.end()), std::set<int>{5});
}

// One item can live in two trees at once through two nodes.
TEST(Trees, AnItemInTwoTreesIsReachedThroughEachNode) {
    struct Twin {
        LumAvlNode first_node;
        int key;
        int other_key;
        LumAvlNode second_node;
    };
    LumAvlTree by_key{}, by_other{};
    by_key.compare = [](const void *a, const void *b) {
        return static_cast<const Twin *>(a)->key - static_cast<const Twin *>(b)->key;
    };
    by_key.node_offset = offsetof(Twin, first_node);
    by_other.compare = [](const void *a, const void *b) {
        return static_cast<const Twin *>(a)->other_key - static_cast<const Twin *>(b)->other_key;
    };
    by_other.node_offset = offsetof(Twin, second_node);
    std::vector<Twin> twins(10);
    for (int k = 0; k < 10; k++) {
        twins[k].key = k;
        twins[k].other_key = 10 - k;
        lum_avl_insert(&by_key, &twins[k].first_node);
        lum_avl_insert(&by_other, &twins[k].second_node);
    }
    EXPECT_EQ(LUM_AVL_ITEM(&by_key, by_key.first), &twins[0]);
    EXPECT_EQ(LUM_AVL_ITEM(&by_other, by_other.first), &twins[9]);
    lum_avl_remove(&by_key, &twins[0].first_node);
    lum_avl_remove(&by_other, &twins[0].second_node);
    EXPECT_EQ(LUM_AVL_ITEM(&by_key, by_key.first), &twins[1]);
    EXPECT_EQ(LUM_AVL_ITEM(&by_other, by_other.last), &twins[1]);
    EXPECT_EQ(by_key.count, 9u);
}

// ---------------------------------------------------------------------------
// Linking sorted items in one pass
// ---------------------------------------------------------------------------

int compares = 0;
int counting_compare(const void *a, const void *b) {
    compares++;
    return compare_items(a, b);
}

// A perfectly balanced tree of n nodes is floor(log2 n) + 1 high.
int balanced_height(int n) {
    int height = 0;
    while (n >> height) height++;
    return height;
}

TEST(SortedTrees, AnEmptyTreeIsBuiltBalancedWithoutACompare) {
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 100, 255, 256, 1000, 1623}) {
        std::vector<Item> items(n);
        std::set<int> expected;
        for (int k = 0; k < n; k++) {
            items[k].key = 3 * k;
            // Left as a removed node would be: the build writes every field.
            items[k].node.left = items[k].node.right = items[k].node.parent = &items[0].node;
            items[k].node.height = items[k].node.spare = 7;
            expected.insert(3 * k);
        }
        LumAvlTree tree = empty_tree();
        tree.compare = counting_compare;
        compares = 0;
        EXPECT_EQ(lum_avl_insert_sorted(&tree, items.data(), n, sizeof(Item)), items.data());
        EXPECT_EQ(compares, 0) << n;
        tree.compare = compare_items;
        check_tree(tree, expected);
        EXPECT_EQ(tree.root->height, balanced_height(n)) << n;
        EXPECT_EQ(tree.first, &items[0].node);
        for (const Item &item : items) EXPECT_EQ(item.node.spare, -1);
        // The tree goes on working as one built one item at a time.
        for (int k = 0; k < n; k += 3) {
            lum_avl_remove(&tree, &items[k].node);
            expected.erase(items[k].key);
        }
        Item extra[2];
        extra[0].key = -1;
        extra[1].key = 3 * n + 1;
        for (Item &item : extra) {
            prepare(item);
            lum_avl_insert(&tree, &item.node);
            expected.insert(item.key);
        }
        check_tree(tree, expected);
    }
}

TEST(SortedTrees, ATreeWithItemsTakesThemOneAtATime) {
    std::vector<Item> held(50), added(60);
    LumAvlTree tree = empty_tree();
    std::set<int> expected;
    for (int k = 0; k < 50; k++) {
        held[k].key = 2 * k;
        prepare(held[k]);
        lum_avl_insert(&tree, &held[k].node);
        expected.insert(2 * k);
    }
    // Odd keys, some below and some above every held one.
    for (int k = 0; k < 60; k++) {
        added[k].key = 2 * k - 9;
        prepare(added[k]);
        expected.insert(2 * k - 9);
    }
    lum_avl_insert_sorted(&tree, added.data(), 60, sizeof(Item));
    check_tree(tree, expected);
    EXPECT_EQ(lum_avl_insert_sorted(&tree, added.data(), 0, sizeof(Item)), nullptr);
    check_tree(tree, expected);
}

// Without the client library's one-pass call, Orders go in one at a time
// and the set comes out the same.
TEST(SortedTrees, CandidateSetsAreTheSameWithoutTheOnePassCall) {
    for (SortedInsert insert_sorted : {SortedInsert{lum_avl_insert_sorted}, SortedInsert{nullptr}}) {
        std::vector<Order> orders(40);
        for (int k = 0; k < 40; k++) order_set(&orders[k], static_cast<uint16_t>(ORD_CONVOY_MOVE + k), nullptr, nullptr);
        LumAvlTree set;
        order_set_init(&set);
        order_set_link_sorted_with(insert_sorted, &set, orders.data(), 40);
        ASSERT_EQ(set.count, 40u);
        int nodes = 0;
        int height = check_subtree(set, set.root, nullptr, &nodes);
        EXPECT_EQ(nodes, 40);
        EXPECT_LE(height, 7);
        int k = 0;
        for (void *item = LUM_AVL_ITEM(&set, set.first); item; item = lum_avl_next(&set, &static_cast<Order *>(item)->node))
            EXPECT_EQ(item, &orders[k++]);
        EXPECT_EQ(k, 40);
        EXPECT_EQ(LUM_AVL_ITEM(&set, set.last), &orders[39]);
    }
}

// Every candidate set of a crowded spring (convoys included): strictly
// ascending, valid AVL heights and links, and perfectly balanced, since
// each set is written in order and linked at once.
TEST(SortedTrees, EveryCandidateSetOfAMidgameIsBalancedAndSorted) {
    GeneratedMap generated = mapgen_default();
    GeneratedPosition midgame = mapgen_midgame_position();
    Map *map = map_build(generated.map_message.data());
    ASSERT_NE(map, nullptr);
    CentreTable *centres = centre_table_retain(centre_table_build(map, midgame.centres_message.data()));
    Position *position = position_build(map, centres, midgame.position_message.data());
    ASSERT_NE(position, nullptr);
    uint32_t total = 0;
    bool convoys = false;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        LumAvlTree &set = position->units[u]->candidates;
        int nodes = 0;
        int height = check_subtree(set, set.root, nullptr, &nodes);
        EXPECT_EQ(static_cast<uint32_t>(nodes), set.count);
        EXPECT_EQ(height, balanced_height(nodes)) << "unit " << u;
        const Order *previous = nullptr;
        for (void *item = LUM_AVL_ITEM(&set, set.first); item; item = lum_avl_next(&set, &static_cast<Order *>(item)->node)) {
            const Order *order = static_cast<const Order *>(item);
            if (previous) {
                EXPECT_LT(order_compare(previous, order), 0) << "unit " << u;
            }
            convoys |= order->token == ORD_CONVOY_MOVE || order->token == ORD_CONVOY;
            previous = order;
        }
        EXPECT_EQ(previous, LUM_AVL_ITEM(&set, set.last));
        total += set.count;
    }
    EXPECT_TRUE(convoys);
    EXPECT_GT(total, 300u);
    brox_position_free(position);
    centre_table_release(map, centres);
    map_release(map);
}

}  // namespace
