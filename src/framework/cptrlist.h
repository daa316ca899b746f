// The framework's list of pointers. Nodes are allocated `block_size` at a time and kept on a free
// list; the list never owns what its pointers point to.
#pragma once

#include "platform/windows.h"

struct __POSITION {};
typedef __POSITION* POSITION;

class CPtrList {
 public:
  explicit CPtrList(INT_PTR block_size = 10);
  ~CPtrList();
  CPtrList(const CPtrList&) = delete;
  CPtrList& operator=(const CPtrList&) = delete;

  INT_PTR GetCount() const { return count_; }
  BOOL IsEmpty() const { return count_ == 0; }

  POSITION AddTail(void* element);
  POSITION AddHead(void* element);
  POSITION GetHeadPosition() const;
  POSITION GetTailPosition() const;
  /// The element at `position`; moves `position` to the next node (null after the tail).
  void*& GetNext(POSITION& position);
  void*& GetAt(POSITION position);
  void* GetHead() const;
  void* RemoveHead();
  void RemoveAt(POSITION position);
  /// Removes every node and frees the node blocks.
  void RemoveAll();

  /// How many node blocks are allocated now (for tests of the block allocation).
  INT_PTR GetBlockCount() const;

 private:
  struct Node;
  struct Block;
  Node* NewNode(Node* prev, Node* next);
  void FreeNode(Node* node);

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  Node* free_ = nullptr;
  Block* blocks_ = nullptr;
  INT_PTR count_ = 0;
  INT_PTR block_size_;
};
