#include "pipeline/TACSInput.h"

#include <algorithm>

namespace kestrune {

TACSInput::~TACSInput()
{
    std::vector<IInputUser*> users;
    {
        std::lock_guard lock(UsersMutex);
        users.swap(Users);
    }
    for (IInputUser* user : users)
        user->InputRemoved(this);
}

void TACSInput::AbortInput()
{
    try {
        CloseInput();
    } catch (...) {
        // An abort must always leave the input closed; what the close
        // complained about no longer matters.
    }
    FBusy = false;
}

void TACSInput::AttachUser(IInputUser* User)
{
    std::lock_guard lock(UsersMutex);
    Users.push_back(User);
}

void TACSInput::DetachUser(IInputUser* User)
{
    std::lock_guard lock(UsersMutex);
    auto it = std::find(Users.begin(), Users.end(), User);
    if (it != Users.end())
        Users.erase(it);
}

} // namespace kestrune
