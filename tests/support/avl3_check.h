// Proves an AVL3 tree sound: order, heights, balance, parent links and the first and last entries.
#ifndef ZELM_TESTS_SUPPORT_AVL3_CHECK_H
#define ZELM_TESTS_SUPPORT_AVL3_CHECK_H

#include <string>

#include "platform/axo_avl3.h"

namespace zt {

// "" when the tree is sound, else what is wrong with it. Without tree info the order is not checked.
std::string Avl3Problem(const AXO_AVL3_TREE *tree, const AXO_AVL3_TREE_INFO *treeInfo);

}  // namespace zt

#endif
