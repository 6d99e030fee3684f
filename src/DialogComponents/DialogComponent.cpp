// The component base and the list of live components.
#include "DialogComponent.h"

#include "MorvaneDialog.h"

namespace {

// The head of the list. One interface thread (the host's) makes and deletes components.
DialogComponent*& ListHead() {
    static DialogComponent* head = nullptr;
    return head;
}

}  // namespace

DialogComponent::DialogComponent(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : next_(ListHead()), owner_(owner), item_(item), callback_(callback), listed_(true) {
    ListHead() = this;
}

DialogComponent::~DialogComponent() { Unlink(); }

void DialogComponent::Unlink() noexcept {
    if (!listed_) return;
    DialogComponent*& head = ListHead();
    if (head == this) {
        head = next_;
    } else {
        for (DialogComponent* c = head; c; c = c->next_) {
            if (c->next_ == this) {
                c->next_ = next_;
                break;
            }
        }
    }
    next_ = nullptr;
    listed_ = false;
}

DialogComponent* DialogComponent::FirstComponent() { return ListHead(); }

DrawingPort& DialogComponent::Port() const { return owner_.Port(); }

Rect16 DialogComponent::ItemRect() const { return owner_.GetItemRect(item_); }

bool DialogComponent::Notify(int16_t code, intptr_t argument) {
    return callback_ ? callback_(*this, code, argument) : false;
}
