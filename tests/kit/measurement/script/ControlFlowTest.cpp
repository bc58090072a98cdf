#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

namespace script_test {
namespace {

constexpr ProgramCase controlCases[] = {
    // Variables.
    {R"((3 "u" 1))", "error:2"},
    {R"((3 "u" 1 2))", "error:9"},
    {R"((3 5 1))", "error:10"},
    {R"((41 "a" "b") (3 "b" 2))", "n:2"},
    {R"((41 "a" 5 "b") (15 "a"))", "error:10"},
    {R"((52 "a" 1 "b"))", "error:9"},
    {R"((52 "a" 1 2 3))", "error:10"},
    {R"((15))", "error:9"},
    {R"((15 1))", "error:10"},
    {R"((8 "k" 1 "k" 2))", "map{k=n:2}"},
    {R"((8 1 "one" true "yes"))", "map{1=s:one,true=s:yes}"},
    {R"((8 "k"))", "error:9"},
    {R"((8))", "map{}"},
    {R"((7 1 "a" true))", "[n:1,s:a,true]"},
    // Properties.
    {R"((16 "h\u00e9llo" "length"))", "n:5"},
    {R"((16 "abc" 1))", "s:b"},
    {R"((16 "abc" "1"))", "s:b"},
    {R"((16 "abc" 3))", "undefined"},
    {R"((16 "abc" -1))", "undefined"},
    {R"((16 "abc" 1.5))", "undefined"},
    {R"((16 5 "x"))", "undefined"},
    {R"((16 (44) "x"))", "undefined"},
    {R"((17 (8 "a" 3) "a"))", "n:3"},
    {R"((16 (8 "a" 3) "toString"))", "undefined"},
    {R"((16 (8 "a" 3)))", "error:9"},
    {R"((43 (45) "a" 1))", "error:6"},
    {R"((43 (44) "a" 1))", "error:6"},
    {R"((43 5 "a" 1))", "n:1"},
    {R"((41 "m") (3 "m" (8)) (43 (15 "m") 7 "seven") (16 (15 "m") "7"))", "s:seven"},
    {R"((41 "f") (50 "f" (7)) (43 (15 "f") "p" 2) (16 (15 "f") "p"))", "n:2"},
    // TypeOf.
    {R"((40 (45)))", "s:object"},
    {R"((40 (44)))", "s:undefined"},
    {R"((40 true))", "s:boolean"},
    {R"((40 1))", "s:number"},
    {R"((40 "x"))", "s:string"},
    {R"((40 (7)))", "s:object"},
    {R"((40 (51 "" (7))))", "s:function"},
    {R"((40 (require "internal.platform")))", "s:function"},
    {R"((40 (16 (46 (44)) 0)))", "s:object"},
    {R"((40))", "error:9"},
    {R"((44 1 2))", "undefined"},
    {R"((45 1))", "null"},
    // Method calls.
    {R"((2 (8) "toString"))", "error:9"},
    {R"((2 (8) 5 (7)))", "error:10"},
    {R"((2 (8) "toString" 5))", "error:10"},
    // Blocks and statement lists.
    {R"((53 (41 "x") (3 "x" 1)) (15 "x"))", "undefined"},
    {R"((53 1 (36 2) 3))", "control:return(n:2)"},
    {R"((53))", "undefined"},
    {R"((41 "x") (5 (46 (3 "x" 4))) (15 "x"))", "n:4"},
    {R"((9 (46 1 (4) 2)))", "control:break(undefined)"},
    {R"((5 1))", "error:10"},
    {R"((5))", "error:9"},
    {R"((46 (0 1 2)))", "[stmt:0]"},
    {R"((13 1 2 3))", "n:3"},
    {R"((13))", "error:9"},
    {R"((13 1 (4)))", "error:10"},
    // Branches.
    {R"((22 true 1 2))", "n:1"},
    {R"((22 false 1 2))", "n:2"},
    {R"((22 false 1))", "undefined"},
    {R"((22 true))", "undefined"},
    {R"((22))", "error:9"},
    {R"((22 true 1 2 3))", "error:9"},
    {R"((22 (16 (46 (44)) 0) 1))", "error:3"},
    {R"((22 1 (46 (36 7)) 2))", "control:return(n:7)"},
    {R"((39 0 1 (3 "never" 1)))", "error:2"},
    {R"((39 1 "yes" (3 "never" 1)))", "s:yes"},
    {R"((39 1 2))", "error:9"},
    // Switch.
    {R"((41 "log") (3 "log" "")
        (38 2 (7 1 2 3) (46 (3 "log" (0 (15 "log") "a")) (3 "log" (0 (15 "log") "b"))
                          (3 "log" (0 (15 "log") "c")) (3 "log" (0 (15 "log") "d"))))
        (15 "log"))",
     "s:bcd"},
    {R"((41 "log") (3 "log" "")
        (38 2 (7 1 2 3) (46 (3 "log" "a") (9 (46 (3 "log" "b") (4))) (3 "log" "c") (3 "log" "d")))
        (15 "log"))",
     "s:b"},
    {R"((41 "log") (3 "log" "") (38 9 (7 1 2) (46 (3 "log" "a") (3 "log" "b") (3 "log" "z"))) (15 "log"))", "s:z"},
    {R"((38 "1" (7 1) (46 (36 1) (36 2))))", "control:return(n:2)"},
    {R"((38 1 (7 1) (46 (6))))", "control:continue(undefined)"},
    {R"((38 1 (7 1 2) (46 (44))))", "error:9"},
    {R"((38 1 (7 1) (46 (44) (44) (44))))", "error:9"},
    {R"((38 1 5 (46)))", "error:9"},
    {R"((38 1 (7)))", "error:9"},
    // Return, break and continue.
    {R"((36 1 2))", "error:9"},
    {R"((4 1))", "error:9"},
    {R"((6 1))", "error:9"},
    {R"((6))", "control:continue(undefined)"},
    // Function creation.
    {R"((51 "f"))", "error:9"},
    {R"((51 "f" 5))", "error:10"},
    {R"((51 (0 1 2) (7)))", "error:5"},
    {R"((51 "f" (7 "a")))", "fn:f"},
    {R"((51 "f" (7)) (15 "f"))", "undefined"},
    {R"((41 "f") (53 (50 "f" (7) 3)) (f))", "n:3"},
    {R"((53 (50 "g" (7) 3)) (15 "g"))", "undefined"},
    // Loops.
    {R"((50 "f" (7) (42 true 0 false (46 (36 9)))) (f))", "n:9"},
    {R"((41 "i") (3 "i" 0) (42 true (3 "i" (0 (15 "i") 1)) false (46 (53 (4)))) (15 "i"))", "n:0"},
    {R"((41 "i" "s") (3 "i" 0) (3 "s" "")
        (42 (23 (15 "i") 5) (3 "i" (0 (15 "i") 1)) false
            (46 (22 (20 (15 "i") 2) (46 (6))) (3 "s" (0 (15 "s") (15 "i")))))
        (15 "s"))",
     "s:0134"},
    {R"((41 "n") (3 "n" 0) (42 false 0 true (46 (3 "n" 1))) (15 "n"))", "n:1"},
    {R"((42 false 0 false 5))", "error:10"},
    {R"((42 false 0 false))", "error:9"},
    {R"((42 (16 (46 (44)) 0) 0 false (46)))", "error:3"},
    {R"((41 "m") (3 "m" (8))
        (41 "i") (3 "i" 0)
        (63 (7 "i") (23 (15 "i") 3) (3 "i" (0 (15 "i") 1))
            (46 (43 (15 "m") (15 "i") (51 "" (7) (36 (15 "i"))))))
        (0 (0 (0 "" (2 (15 "m") "0" (7))) (2 (15 "m") "1" (7))) (2 (15 "m") "2" (7))))",
     "s:012"},
    {R"((41 "i") (3 "i" 7) (63 (7 "i") (23 (15 "i") 9) (3 "i" (0 (15 "i") 1)) (46)) (15 "i"))", "n:7"},
    {R"((63 (7 "i") false 0 5))", "error:10"},
    {R"((63 5 false 0 (46)))", "error:10"},
    {R"((50 "f" (7) (63 (7) true 0 (46 (36 "out")))) (f))", "s:out"},
    // for-in and for-of.
    {R"((41 "k") (3 "k" "") (47 "p" (8 "b" 1 "a" 2) (46 (3 "k" (0 (15 "k") (15 "p"))))) (15 "k"))", "s:ba"},
    {R"((41 "k") (3 "k" "") (55 "p" "xyz" (46 (3 "k" (0 (15 "k") (15 "p"))))) (15 "k"))", "s:012"},
    {R"((41 "k") (3 "k" "") (54 "p" (7 "a" "b") (46 (3 "k" (0 (15 "k") (15 "p"))))) (15 "k"))", "s:01"},
    {R"((41 "k") (3 "k" "") (54 "p" "ab" (46 (3 "p" "changed") (3 "k" (0 (15 "k") (15 "p"))))) (15 "k"))", "s:01"},
    {R"((47 "x" 5 (46)))", "undefined"},
    {R"((47 "x" 5 5))", "error:10"},
    {R"((47 "x" 5))", "error:9"},
    {R"((41 "k") (3 "k" "") (66 "c" "h\u00e9" (46 (3 "k" (0 (15 "k") (15 "c"))))) (15 "k"))", "s:h\u00e9"},
    {R"((41 "k") (3 "k" 0) (65 "v" (7 1 2 3) (46 (3 "k" (0 (15 "k") (15 "v"))))) (15 "k"))", "n:6"},
    {R"((41 "v") (64 "v" (7 1 2) (46)) (15 "v"))", "n:2"},
    {R"((64 "v" (7 1 2) (46)) (15 "v"))", "n:2"},
    {R"((64 "x" 5 (46)))", "error:16"},
    {R"((64 "x" 5 5))", "error:16"},
    {R"((66 "x" (7) 5))", "error:10"},
    {R"((41 "k") (3 "k" 0) (66 "v" (7 1 2 3) (46 (22 (20 (15 "v") 2) (46 (4))) (3 "k" (15 "v")))) (15 "k"))", "n:1"},
    {R"((50 "f" (7) (66 "v" (7 1 2 3) (46 (22 (20 (15 "v") 2) (46 (36 "two")))))) (f))", "s:two"},
};

class ControlCases : public testing::TestWithParam<ProgramCase> {};

TEST_P(ControlCases, RunsToItsResult) {
    EXPECT_EQ(runText(GetParam().program), GetParam().expected) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(Control, ControlCases, testing::ValuesIn(controlCases));

}  // namespace
}  // namespace script_test
