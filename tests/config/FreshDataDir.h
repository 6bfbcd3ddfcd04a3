#pragma once

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velloq::test {

// Points XDG_DATA_HOME at a new empty folder for one test, so that tests sharing a process
// never see each other's config files.
class FreshDataDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.path()));
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", previous_); }

    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
};

} // namespace velloq::test
