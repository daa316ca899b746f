// CPtrList: a doubly linked list whose nodes come from blocks of `block_size` nodes, one
// allocation per block. Freed nodes go onto a free list for reuse; the blocks themselves are
// released together when the list becomes empty, so a list that is filled and drained again and
// again (as each directory listing is) holds no memory between uses.

#include "framework/cptrlist.h"

#include <cstdint>
#include <new>

#include "framework/winapp.h"

struct CPtrList::Node {
  Node* next;
  Node* prev;
  void* data;
};

struct CPtrList::Block {
  Block* next;
  Node* Nodes() { return reinterpret_cast<Node*>(this + 1); }
};

namespace {

POSITION ToPosition(void* node) {
  return reinterpret_cast<POSITION>(node);
}

}  // namespace

CPtrList::CPtrList(INT_PTR block_size) : block_size_(block_size < 1 ? 1 : block_size) {}

CPtrList::~CPtrList() {
  RemoveAll();
}

POSITION CPtrList::AddTail(void* element) {
  Node* node = NewNode(tail_, nullptr);
  node->data = element;
  if (tail_ != nullptr)
    tail_->next = node;
  else
    head_ = node;
  tail_ = node;
  return ToPosition(node);
}

POSITION CPtrList::AddHead(void* element) {
  Node* node = NewNode(nullptr, head_);
  node->data = element;
  if (head_ != nullptr)
    head_->prev = node;
  else
    tail_ = node;
  head_ = node;
  return ToPosition(node);
}

POSITION CPtrList::GetHeadPosition() const {
  return ToPosition(head_);
}

POSITION CPtrList::GetTailPosition() const {
  return ToPosition(tail_);
}

void*& CPtrList::GetNext(POSITION& position) {
  Node* node = reinterpret_cast<Node*>(position);
  position = ToPosition(node->next);
  return node->data;
}

void*& CPtrList::GetAt(POSITION position) {
  return reinterpret_cast<Node*>(position)->data;
}

void* CPtrList::GetHead() const {
  return head_ == nullptr ? nullptr : head_->data;
}

void* CPtrList::RemoveHead() {
  if (head_ == nullptr) return nullptr;
  void* data = head_->data;
  RemoveAt(ToPosition(head_));
  return data;
}

void CPtrList::RemoveAt(POSITION position) {
  Node* node = reinterpret_cast<Node*>(position);
  if (node->prev != nullptr)
    node->prev->next = node->next;
  else
    head_ = node->next;
  if (node->next != nullptr)
    node->next->prev = node->prev;
  else
    tail_ = node->prev;
  FreeNode(node);
}

void CPtrList::RemoveAll() {
  while (blocks_ != nullptr) {
    Block* next = blocks_->next;
    ::operator delete(blocks_);
    blocks_ = next;
  }
  head_ = tail_ = free_ = nullptr;
  count_ = 0;
}

INT_PTR CPtrList::GetBlockCount() const {
  INT_PTR count = 0;
  for (Block* block = blocks_; block != nullptr; block = block->next) ++count;
  return count;
}

CPtrList::Node* CPtrList::NewNode(Node* prev, Node* next) {
  if (free_ == nullptr) {
    // One allocation holds the block's link and its nodes; its nodes join the free list.
    size_t nodes_wanted = static_cast<size_t>(block_size_);
    if (nodes_wanted > (SIZE_MAX - sizeof(Block)) / sizeof(Node)) AfxThrowMemoryException();
    void* memory = ::operator new(sizeof(Block) + nodes_wanted * sizeof(Node), std::nothrow);
    if (memory == nullptr) AfxThrowMemoryException();
    Block* block = static_cast<Block*>(memory);
    block->next = blocks_;
    blocks_ = block;
    Node* nodes = block->Nodes();
    for (INT_PTR i = block_size_ - 1; i >= 0; --i) {
      nodes[i].next = free_;
      free_ = &nodes[i];
    }
  }
  Node* node = free_;
  free_ = free_->next;
  node->prev = prev;
  node->next = next;
  node->data = nullptr;
  ++count_;
  return node;
}

void CPtrList::FreeNode(Node* node) {
  node->next = free_;
  free_ = node;
  --count_;
  if (count_ == 0) RemoveAll();
}
