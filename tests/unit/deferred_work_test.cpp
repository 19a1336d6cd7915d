#include "app/deferred_work.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

// Order, a piece that reaches Run again, a failed request to run, a replaced page, a stop.
TEST(DeferredWork, RunsInOrderOncePerRequestAndDropsWhatIsStale) {
    int asks = 0;
    bool askWorks = false;
    DeferredWork work([&] {
        ++asks;
        return askWorks;
    });
    std::string done;
    // The request fails: the next Add asks again; once it worked, later Adds do not ask.
    work.Add([&] { done += "a"; });
    askWorks = true;
    work.Add([&] {
        done += "b";
        work.Run();  // a nested loop: returns at once, the outer run goes on
        done += "B";
    });
    work.Add([&] { throw std::runtime_error("a fault of the piece stays in it"); });
    work.Add([&] { done += "c"; });
    EXPECT_EQ(asks, 2);
    EXPECT_TRUE(work.Busy());
    work.Run();
    EXPECT_EQ(done, "abBc");
    EXPECT_FALSE(work.Busy());

    // Work of a page that was replaced before it ran is dropped; work of the new page runs.
    work.Add([&] { done += "old"; });
    work.NewPage();
    work.Add([&] { done += "new"; });
    EXPECT_EQ(asks, 3);
    work.Run();
    EXPECT_EQ(done, "abBcnew");

    // After Stop nothing runs, not even what was already queued.
    work.Add([&] { done += "late"; });
    work.Stop();
    work.Add([&] { done += "later"; });
    work.Run();
    EXPECT_EQ(done, "abBcnew");
    EXPECT_FALSE(work.Busy());
}
