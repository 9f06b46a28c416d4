// The program as a screen reader meets it: a session bus with the desktop's
// accessibility bus (at-spi-bus-launcher) switched on, as a screen reader
// switches it on, and the program on the desktop. Through Debian's
// python3-pyatspi the test reads the tree: one frame named "Vantrel
// Credits" is the application's only top-level object, and its children
// are the credit lines on screen, as labels named by their text. Seconds
// later the roll has moved on and the lines are others, told to listeners
// as lines came and went, not on every frame.

#include "desktop.h"

#include <sstream>

namespace desktop {
namespace {

inline const fs::path kTreeTool = VANTREL_ACCESSIBLE_TREE;

// A session bus of its own, with the accessibility bus launched and enabled.
class AccessibilityBus {
public:
    AccessibilityBus() {
        m_launcher.emplace(std::vector<std::string>{"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"},
                           Environment(), fs::path(), m_dir / "launcher.log");
        // The launcher takes its name on the bus a moment after it starts.
        if (!WaitUntil([&] { return Clean(Child({kTreeTool, "enable"}, Environment()).WaitFor(Ms(10000))); },
                       Ms(20000), Ms(200)))
            throw std::runtime_error("no accessibility bus: " + ReadFile(m_dir / "launcher.log"));
    }
    Env Environment(Env set = {}) const {
        set["DBUS_SESSION_BUS_ADDRESS"] = m_bus.address;
        set["XDG_RUNTIME_DIR"] = m_dir.path;
        set["HOME"] = m_dir.path;
        return CleanEnv(set);
    }
    // What the tool prints, run on this bus.
    std::string Run(const std::vector<std::string>& argv) const {
        const fs::path out = m_dir / "tool.txt";
        Child tool(argv, Environment(), out, m_dir / "tool.err");
        return Clean(tool.WaitFor(Ms(20000))) ? ReadFile(out) : "";
    }

private:
    TempDir m_dir;
    SessionBus m_bus{m_dir.path};
    std::optional<Child> m_launcher;
};

struct Node { int depth; std::string role, name; };

std::vector<Node> Tree(const AccessibilityBus& bus) {
    std::vector<Node> nodes;
    std::istringstream lines(bus.Run({kTreeTool, "tree"}));
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find('\t'), second = line.find('\t', first + 1);
        if (second == std::string::npos) continue;
        nodes.push_back({std::stoi(line.substr(0, first)), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
    }
    return nodes;
}

// The nodes right under tree[parent].
std::vector<Node> Under(const std::vector<Node>& tree, size_t parent) {
    std::vector<Node> children;
    for (size_t i = parent + 1; i < tree.size() && tree[i].depth > tree[parent].depth; ++i)
        if (tree[i].depth == tree[parent].depth + 1) children.push_back(tree[i]);
    return children;
}

// The program's top-level objects: the children of the application that
// holds a frame named as the program's window.
std::vector<Node> TopLevels(const std::vector<Node>& tree) {
    for (size_t app = 0; app < tree.size(); ++app)
        if (tree[app].depth == 0 && std::ranges::any_of(Under(tree, app), [](const Node& n) { return n.name == kTitle; }))
            return Under(tree, app);
    return {};
}

// The lines under the frame named as the program's window.
std::set<std::string> CreditLines(const std::vector<Node>& tree) {
    std::set<std::string> lines;
    for (size_t i = 0; i < tree.size(); ++i)
        if (tree[i].depth == 1 && tree[i].name == kTitle && tree[i].role == "frame")
            for (const Node& line : Under(tree, i))
                if (line.role == "label" && !line.name.empty()) lines.insert(line.name);
    return lines;
}

std::string Dump(const std::vector<Node>& tree) {
    std::string text;
    for (const Node& node : tree) text += std::string(2 * node.depth, ' ') + "[" + node.role + "] " + node.name + "\n";
    return text;
}

TEST(Accessibility, AScreenReaderFindsOneFrameAndTheCreditLinesOnScreen) {
    AccessibilityBus bus;
    Desktop desktop;
    Program program(desktop, {kProgram}, bus.Environment());
    ASSERT_NE(program.WaitForMainWindow(), 0u) << "no main window; stderr:\n" << program.Stderr();

    std::vector<Node> tree;
    ASSERT_TRUE(WaitUntil([&] { return !CreditLines(tree = Tree(bus)).empty(); }, Ms(30000), Ms(500)))
        << "no credit line on the bus; the tree:\n" << Dump(tree) << "stderr:\n" << program.Stderr();
    const std::vector<Node> topLevels = TopLevels(tree);
    ASSERT_EQ(topLevels.size(), 1u) << "the hidden scene, or another, is a top-level object too:\n" << Dump(tree);
    EXPECT_EQ(topLevels[0].role, "frame");
    const std::set<std::string> first = CreditLines(tree);

    // The lines come and go about once a second: a few changes heard in
    // three seconds, not one for each of the 180 frames.
    const std::string heard = bus.Run({kTreeTool, "events", "3"});
    int changes = -1;
    std::sscanf(heard.c_str(), "children-changed %d", &changes);
    EXPECT_GE(changes, 1) << heard;
    EXPECT_LE(changes, 30) << heard;

    std::set<std::string> later;
    EXPECT_TRUE(WaitUntil([&] { return (later = CreditLines(tree = Tree(bus))) != first && !later.empty(); },
                          Ms(15000), Ms(500)))
        << "the lines on the bus did not change as the roll moved:\n" << Dump(tree);
    EXPECT_EQ(TopLevels(tree).size(), 1u) << Dump(tree);
    program.ExpectCleanExit([&] { program.process().Signal(SIGTERM); });
}

} // namespace
} // namespace desktop
