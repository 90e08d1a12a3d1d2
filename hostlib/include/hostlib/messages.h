#pragma once
// A screen's message table: texts by short key.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/format_message.h"
#include "hostlib/component.h"

namespace hostlib {

class TMessages : public TComponent {
public:
    using TComponent::TComponent;

    // Entries "key|text": the key is what stands before the first bar, the text the rest.
    void SetLines(const std::vector<std::string>& lines);
    // Replaces the text of a key that is in the table; false when the key is unknown.
    bool Replace(std::string_view key, std::string text);
    // The text of the key; an unknown key is an error naming it.
    const std::string& Msg(std::string_view key) const;
    const std::vector<std::pair<std::string, std::string>>& Messages() const { return messages_; }

private:
    std::vector<std::pair<std::string, std::string>> messages_;
};

}  // namespace hostlib
