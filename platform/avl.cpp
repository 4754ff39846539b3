// Intrusive AVL trees of the client library stand-in.
// Nodes carry parent links and their subtree height (the node's `height`
// field, 1 or more while the node is in a tree); the header keeps root,
// first, last and count current across every insert and remove.  Items are
// reached from nodes through `node_offset`.  A node taken out of a tree, by
// removal or by emptying, is left as it was before insertion: links null,
// both 16-bit fields -1, so that callers can tell it is in no tree.
#include <cstddef>

#include "brox.h"

#define VORN_EXPORT __attribute__((visibility("default")))

namespace {

void *item_of(const LumAvlTree *tree, LumAvlNode *node) {
    return node ? static_cast<void *>(reinterpret_cast<char *>(node) - tree->node_offset) : nullptr;
}

int height_of(const LumAvlNode *node) { return node ? node->height : 0; }

void update_height(LumAvlNode *node) {
    int left = height_of(node->left);
    int right = height_of(node->right);
    node->height = static_cast<int16_t>((left > right ? left : right) + 1);
}

// Puts `replacement` where `old` hung from `parent` (or at the root).
void replace_child(LumAvlTree *tree, LumAvlNode *parent, LumAvlNode *old, LumAvlNode *replacement) {
    if (!parent)
        tree->root = replacement;
    else if (parent->left == old)
        parent->left = replacement;
    else
        parent->right = replacement;
    if (replacement) replacement->parent = parent;
}

LumAvlNode *rotate_left(LumAvlTree *tree, LumAvlNode *node) {
    LumAvlNode *pivot = node->right;
    replace_child(tree, node->parent, node, pivot);
    node->right = pivot->left;
    if (pivot->left) pivot->left->parent = node;
    pivot->left = node;
    node->parent = pivot;
    update_height(node);
    update_height(pivot);
    return pivot;
}

LumAvlNode *rotate_right(LumAvlTree *tree, LumAvlNode *node) {
    LumAvlNode *pivot = node->left;
    replace_child(tree, node->parent, node, pivot);
    node->left = pivot->right;
    if (pivot->right) pivot->right->parent = node;
    pivot->right = node;
    node->parent = pivot;
    update_height(node);
    update_height(pivot);
    return pivot;
}

// Updates a node's height and rotates its subtree back into balance when
// the two sides differ by two; returns the subtree's root.
LumAvlNode *rebalance_node(LumAvlTree *tree, LumAvlNode *node) {
    update_height(node);
    int balance = height_of(node->left) - height_of(node->right);
    if (balance > 1) {
        if (height_of(node->left->left) < height_of(node->left->right)) rotate_left(tree, node->left);
        return rotate_right(tree, node);
    }
    if (balance < -1) {
        if (height_of(node->right->right) < height_of(node->right->left)) rotate_right(tree, node->right);
        return rotate_left(tree, node);
    }
    return node;
}

// Restores the height and balance of every node from `node` up to the root.
void rebalance_upward(LumAvlTree *tree, LumAvlNode *node) {
    while (node) node = rebalance_node(tree, node)->parent;
}

// After an insertion: heights are restored from `node` upward until one
// stays the same, and at most one (single or double) rotation is needed,
// after which the subtree has its old height again.
void rebalance_after_insert(LumAvlTree *tree, LumAvlNode *node) {
    while (node) {
        int16_t old_height = node->height;
        LumAvlNode *subtree = rebalance_node(tree, node);
        if (subtree != node || node->height == old_height) return;
        node = node->parent;
    }
}

LumAvlNode *leftmost(LumAvlNode *node) {
    while (node->left) node = node->left;
    return node;
}

LumAvlNode *rightmost(LumAvlNode *node) {
    while (node->right) node = node->right;
    return node;
}

LumAvlNode *successor(LumAvlNode *node) {
    if (node->right) return leftmost(node->right);
    while (node->parent && node->parent->right == node) node = node->parent;
    return node->parent;
}

LumAvlNode *predecessor(LumAvlNode *node) {
    if (node->left) return rightmost(node->left);
    while (node->parent && node->parent->left == node) node = node->parent;
    return node->parent;
}

// Moves `successor_node` (the leftmost node of `node`'s right subtree) into
// `node`'s place, so that `node` can be unlinked with at most one child.
void swap_with_successor(LumAvlTree *tree, LumAvlNode *node, LumAvlNode *successor_node) {
    LumAvlNode *node_parent = node->parent;
    LumAvlNode *node_left = node->left;
    LumAvlNode *node_right = node->right;
    int16_t node_height = node->height;
    LumAvlNode *succ_parent = successor_node->parent;
    LumAvlNode *succ_right = successor_node->right;

    replace_child(tree, node_parent, node, successor_node);
    successor_node->left = node_left;
    node_left->parent = successor_node;
    successor_node->height = node_height;
    if (succ_parent == node) {
        // The successor is node's right child.
        successor_node->right = node;
        node->parent = successor_node;
    } else {
        successor_node->right = node_right;
        node_right->parent = successor_node;
        succ_parent->left = node;
        node->parent = succ_parent;
    }
    node->left = nullptr;
    node->right = succ_right;
    if (succ_right) succ_right->parent = node;
}

// Attaches a node above every other one as the right child of the last
// node.  Only the right spine grows, so heights are updated up that spine
// until one stays the same.  A spine node whose right side becomes two
// levels taller than its left is fixed by one left rotation: its right
// child, grown on its own right side, takes its place with the node's old
// height, so nothing above changes.
void append_last(LumAvlTree *tree, LumAvlNode *node, LumAvlNode *last) {
    LumAvlNode *child = node;
    LumAvlNode *spine = last;
    spine->right = node;
    node->parent = spine;
    tree->last = node;
    while (spine) {
        int left = height_of(spine->left);
        int right = child->height;
        if (right <= left) return;
        if (right - left == 2) {
            // child's left subtree has height `left`, its right `left` + 1.
            LumAvlNode *above = spine->parent;
            LumAvlNode *inner = child->left;
            spine->right = inner;
            if (inner) inner->parent = spine;
            spine->height = static_cast<int16_t>(left + 1);
            spine->parent = child;
            child->left = spine;
            child->parent = above;
            if (above)
                above->right = child;
            else
                tree->root = child;
            return;
        }
        spine->height = static_cast<int16_t>(right + 1);
        child = spine;
        spine = spine->parent;
    }
}

// A node in no tree looks as it did before insertion: links null, both
// 16-bit fields -1.  The library's argument checks read that.
void node_detach(LumAvlNode *node) {
    node->left = node->right = node->parent = nullptr;
    node->height = node->spare = -1;
}

void empty_subtree(LumAvlTree *tree, LumAvlNode *node, LumAvlRelease release, int arg) {
    while (node) {
        LumAvlNode *left = node->left;
        LumAvlNode *right = node->right;
        empty_subtree(tree, left, release, arg);
        node_detach(node);
        release(item_of(tree, node), arg);
        node = right;  // loop instead of recursing on the right side
    }
}

// Where the nodes of an array of items lie: the first one's address and
// the distance from one to the next.
struct NodeArray {
    char *first;
    size_t stride;
    LumAvlNode *at(uint32_t index) const {
        return reinterpret_cast<LumAvlNode *>(first + size_t{index} * stride);
    }
};

LumAvlNode *leaf(LumAvlNode *node, LumAvlNode *parent) {
    node->left = node->right = nullptr;
    node->parent = parent;
    node->height = 1;
    node->spare = -1;
    return node;
}

// Links the `count` (at least 1) nodes from `from` on into a perfectly
// balanced subtree under `parent`: the middle node at the top, the halves
// below it, the right half the larger by at most one.  The two sides of
// every node then differ by at most one node, and so by at most one in
// height, and the right side is never the lower.  Returns the subtree's
// root.
LumAvlNode *build_balanced(const NodeArray &nodes, uint32_t from, uint32_t count, LumAvlNode *parent) {
    uint32_t middle = from + (count - 1) / 2;
    LumAvlNode *node = nodes.at(middle);
    node->parent = parent;
    node->spare = -1;
    if (count <= 3) {  // the last levels without a call
        node->left = count == 3 ? leaf(nodes.at(from), node) : nullptr;
        node->right = count >= 2 ? leaf(nodes.at(middle + 1), node) : nullptr;
        node->height = static_cast<int16_t>(count == 1 ? 1 : 2);
        return node;
    }
    node->left = build_balanced(nodes, from, middle - from, node);
    node->right = build_balanced(nodes, middle + 1, from + count - middle - 1, node);
    node->height = static_cast<int16_t>(node->right->height + 1);
    return node;
}

}  // namespace

extern "C" {

// Keys beyond either end are answered from the first and last nodes.
VORN_EXPORT void *lum_avl_find(LumAvlTree *tree, const void *key_item) {
    if (!tree->root) return nullptr;
    void *highest = item_of(tree, tree->last);
    int order = tree->compare(key_item, highest);
    if (order >= 0) return order == 0 ? highest : nullptr;
    void *lowest = item_of(tree, tree->first);
    order = tree->compare(key_item, lowest);
    if (order <= 0) return order == 0 ? lowest : nullptr;
    LumAvlNode *node = tree->root;
    while (node) {
        void *item = item_of(tree, node);
        int order = tree->compare(key_item, item);
        if (order == 0) return item;
        node = order < 0 ? node->left : node->right;
    }
    return nullptr;
}

// Items that sort at either end (the common case when a set is filled in
// order) are attached beside the last or first node without a descent.
VORN_EXPORT void *lum_avl_insert(LumAvlTree *tree, LumAvlNode *node) {
    void *item = item_of(tree, node);
    LumAvlNode *last = tree->last;
    node->left = node->right = nullptr;
    node->height = 1;
    tree->count++;
    if (!last) {
        node->parent = nullptr;
        tree->root = tree->first = tree->last = node;
        return item;
    }
    if (tree->compare(item, item_of(tree, last)) >= 0) {
        append_last(tree, node, last);
        return item;
    }
    LumAvlNode *parent;
    bool attach_left;
    if (tree->compare(item, item_of(tree, tree->first)) < 0) {
        parent = tree->first;
        attach_left = true;
        tree->first = node;
    } else {
        parent = nullptr;
        attach_left = false;
        for (LumAvlNode *cursor = tree->root; cursor;) {
            parent = cursor;
            attach_left = tree->compare(item, item_of(tree, cursor)) < 0;
            cursor = attach_left ? cursor->left : cursor->right;
        }
    }
    node->parent = parent;
    if (attach_left)
        parent->left = node;
    else
        parent->right = node;
    rebalance_after_insert(tree, parent);
    return item;
}

// An empty tree is built in one pass with no compare; a tree that holds
// items already takes them one at a time.
VORN_EXPORT void *lum_avl_insert_sorted(LumAvlTree *tree, void *first_item, uint32_t count, size_t stride) {
    if (!count) return nullptr;
    char *items = static_cast<char *>(first_item);
    if (tree->root) {
        for (uint32_t k = 0; k < count; k++) {
            auto *node = reinterpret_cast<LumAvlNode *>(items + size_t{k} * stride + tree->node_offset);
            lum_avl_insert(tree, node);
        }
        return first_item;
    }
    NodeArray nodes{items + tree->node_offset, stride};
    tree->root = build_balanced(nodes, 0, count, nullptr);
    tree->first = nodes.at(0);
    tree->last = nodes.at(count - 1);
    tree->count = count;
    return first_item;
}

VORN_EXPORT void *lum_avl_remove(LumAvlTree *tree, LumAvlNode *node) {
    if (tree->first == node) tree->first = successor(node);
    if (tree->last == node) tree->last = predecessor(node);
    if (node->left && node->right) swap_with_successor(tree, node, leftmost(node->right));
    LumAvlNode *child = node->left ? node->left : node->right;
    LumAvlNode *parent = node->parent;
    replace_child(tree, parent, node, child);
    node_detach(node);
    tree->count--;
    rebalance_upward(tree, parent);
    return item_of(tree, node);
}

VORN_EXPORT void *lum_avl_next(LumAvlTree *tree, LumAvlNode *node) {
    return item_of(tree, successor(node));
}

VORN_EXPORT int lum_avl_node_empty(LumAvlTree *tree, LumAvlNode *root, LumAvlRelease release,
                                   int arg) {
    if (!root || !release) return 0;
    empty_subtree(tree, root, release, arg);
    return 1;
}

}  // extern "C"
