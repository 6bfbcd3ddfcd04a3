// Several actions and toggles moved with a .velloq file: the snippets and the page a step or a
// side names, and the images of toggles while on, travel with a page and with a whole setup.

#include "share/ShareFixture.h"

using namespace velloq;
using namespace velloq::test;

TEST_F(ShareTest, MultiStepsSidesAndImagesWhenOnTravelWithAPageAndASetup) {
    const QString source = workDir() + QStringLiteral("/source");
    DockConfig config;
    const Snippet sign = Snippet::make(QStringLiteral("Sign-off"), QStringLiteral("Best, A."));
    const Snippet hello = Snippet::make(QStringLiteral("Hello"), QStringLiteral("Hello!"));
    config.snippets = {sign, hello};
    Page tools = Page::make(QStringLiteral("Tools"));
    tools.keys[0] = ButtonAction::sequence(
        {ButtonAction::snippet(sign.id), ButtonAction::wait(100), ButtonAction::page(tools.id)});
    tools.keys[1] = ButtonAction::toggle(ButtonAction::nothing(), ButtonAction::snippet(hello.id));
    tools.onIcons[1] = makeImage(source + QStringLiteral("/on.png"), Qt::green);
    config.pages = {tools};
    config.keys[2] = tools.keys[1];
    config.onIcons[2] = makeImage(source + QStringLiteral("/home-on.png"), Qt::red);
    config.toggleStates = {{QUuid(), 2}};
    make(config);
    const QString pageFile = workDir() + QStringLiteral("/Tools.velloq");
    ASSERT_TRUE(exportTo(pageFile, tools.id).ok);
    const QString homeFile = workDir() + QStringLiteral("/Home.velloq");
    ASSERT_TRUE(exportTo(homeFile, QUuid()).ok);
    const QString setupFile = workDir() + QStringLiteral("/Setup.velloq");
    ASSERT_TRUE(exportTo(setupFile, std::nullopt).ok);

    // Into an empty profile: the snippets come along and the steps and sides name them.
    ASSERT_TRUE(emptyProfile());
    DockConfig empty;
    empty.snippets.clear();
    make(empty);
    ASSERT_EQ(importFile(pageFile), QString());
    const DockConfig& now = controller->config();
    ASSERT_EQ(now.pages.size(), 1);
    const Page& page = now.pages.first();
    ASSERT_EQ(now.snippets.size(), 2);
    const auto idOf = [&](const QString& name) {
        for (const Snippet& s : now.snippets) {
            if (s.name == name)
                return s.id;
        }
        return QUuid();
    };
    EXPECT_EQ(page.keys[0],
              ButtonAction::sequence({ButtonAction::snippet(idOf(QStringLiteral("Sign-off"))),
                                      ButtonAction::wait(100), ButtonAction::page(page.id)}));
    EXPECT_EQ(page.keys[1],
              ButtonAction::toggle(ButtonAction::nothing(),
                                   ButtonAction::snippet(idOf(QStringLiteral("Hello")))));
    ASSERT_TRUE(page.onIcons[1]);
    EXPECT_TRUE(page.onIcons[1]->startsWith(customIconsDir() + u'/'));
    EXPECT_EQ(digest(*page.onIcons[1]), digest(*tools.onIcons[1]));
    EXPECT_TRUE(now.toggleStates.isEmpty()); // a page comes in off

    // Home as a page brings its image when on.
    ASSERT_EQ(importFile(homeFile), QString());
    ASSERT_TRUE(controller->config().pages.last().onIcons[2]);
    EXPECT_EQ(digest(*controller->config().pages.last().onIcons[2]), digest(*config.onIcons[2]));

    // A whole setup: everything, its states too.
    ASSERT_EQ(importFile(setupFile), QString());
    const DockConfig& setup = controller->config();
    ASSERT_TRUE(setup.onIcons[2]);
    EXPECT_TRUE(setup.onIcons[2]->startsWith(customIconsDir() + u'/'));
    EXPECT_EQ(digest(*setup.onIcons[2]), digest(*config.onIcons[2]));
    EXPECT_EQ(digest(*setup.pages.first().onIcons[1]), digest(*tools.onIcons[1]));
    EXPECT_EQ(setup.keys[2], config.keys[2]);
    EXPECT_TRUE(controller->isToggleOn(2));
}
