#pragma once

#include <string>

namespace vantrel {

class Label;

// A control of a form's controls collection. The program only needs to
// iterate the collection in its stored order and tell the labels apart.
class Control {
public:
    explicit Control(std::string name) : m_name(std::move(name)) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return m_name; }

    // The label test: this control as a label, or null when it is not one.
    virtual Label* AsLabel() { return nullptr; }

private:
    std::string m_name;
};

} // namespace vantrel
