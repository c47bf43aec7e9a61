// The language server, message by message, as a client speaks to it.
#include "language_server.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

#include "analysis.h"
#include "companion_properties.h"
#include "kept_inputs.h"
#include "json_text.h"
#include "language_server_properties.h"

namespace quellmark {
namespace {

using nlohmann::json;

const std::string kUri = "file:///p.asm";

class ServerTest : public testing::Test {
 protected:
  // Sends one message; what the server sent back.
  std::vector<json> send(const json& message) {
    std::vector<std::string> out;
    server->receive(message.dump(), out);
    std::vector<json> replies;
    for (const std::string& body : out) replies.push_back(json::parse(body));
    return replies;
  }
  json request(const std::string& method, json params) {
    const std::vector<json> replies =
        send({{"jsonrpc", "2.0"}, {"id", ++id}, {"method", method}, {"params", std::move(params)}});
    EXPECT_EQ(replies.size(), 1u) << method;
    return replies.empty() ? json() : replies.back();
  }
  std::vector<json> notify(const std::string& method, json params) {
    return send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
  }
  void start(json options = json::object(), const char* encoding = "utf-16") {
    const json reply = request(
        "initialize",
        {{"capabilities", {{"general", {{"positionEncodings", {encoding}}}}}},
         {"initializationOptions", options}});
    ASSERT_EQ(reply["result"]["capabilities"]["positionEncoding"], encoding);
    notify("initialized", json::object());
  }
  // Opens the document; the diagnostics published for it.
  json open(const std::string& text) {
    const std::vector<json> out = notify(
        "textDocument/didOpen",
        {{"textDocument", {{"uri", kUri}, {"languageId", "asm"}, {"version", 1}, {"text", text}}}});
    EXPECT_EQ(out.size(), 1u);
    return out.empty() ? json() : out[0]["params"]["diagnostics"];
  }
  static json at(int line, int character) {
    return {{"textDocument", {{"uri", kUri}}}, {"position", {{"line", line}, {"character", character}}}};
  }
  static json range(int line, int from, int to) {
    return {{"start", {{"line", line}, {"character", from}}}, {"end", {{"line", line}, {"character", to}}}};
  }

  std::unique_ptr<LanguageServer> server = std::make_unique<LanguageServer>(Build::full);
  int id = 0;
};

const std::string kProgram =
    "; \u00e9t\u00e9 \U0001D11E\n"  // line 0: a comment with non-ASCII text
    "define N 5\n"
    "loop:   addi r1, r0, N ; \u00fc\n"
    "        ad   r2, r2, r1\n"
    "        beq  r1, r0, loop\n"
    "        j    lop\n"
    "loop:   hlt\n";

TEST_F(ServerTest, RequestsBeforeInitializeAndUnknownMethods) {
  EXPECT_EQ(request("textDocument/hover", at(0, 0))["error"]["code"], -32002);
  EXPECT_TRUE(notify("textDocument/didOpen", {{"textDocument", {{"uri", kUri}, {"text", "x"}}}}).empty());
  start();
  EXPECT_EQ(request("no/such", json::object())["error"]["code"], -32601);
  EXPECT_TRUE(notify("no/such", json::object()).empty());
  EXPECT_TRUE(notify("$/cancelRequest", {{"id", 1}}).empty());
  // Wrong parameters are answered, not fatal.
  EXPECT_EQ(request("textDocument/hover", {{"textDocument", 5}})["error"]["code"], -32602);
  EXPECT_EQ(request("textDocument/hover", at(0, 0))["error"]["code"], -32602);  // not open
  std::vector<std::string> out;
  server->receive("{not json", out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(json::parse(out[0])["error"]["code"], -32700);
  EXPECT_FALSE(server->exitStatus());
  EXPECT_TRUE(request("shutdown", nullptr)["result"].is_null());
  EXPECT_EQ(request("textDocument/hover", at(0, 0))["error"]["code"], -32600);
  notify("exit", nullptr);
  EXPECT_EQ(server->exitStatus(), 0);
}

TEST_F(ServerTest, WithoutPublishingChangesSendNothingAndAnswersFollowThem) {
  server->setPublishing(false);
  start();
  EXPECT_TRUE(notify("textDocument/didOpen",
                     {{"textDocument", {{"uri", kUri}, {"languageId", "asm"}, {"version", 1}, {"text", "j x\n"}}}})
                  .empty());
  EXPECT_TRUE(notify("textDocument/didChange",
                     {{"textDocument", {{"uri", kUri}, {"version", 2}}},
                      {"contentChanges", {{{"range", range(0, 2, 3)}, {"text", "lab\nlab: hlt"}}}}})
                  .empty());
  // The analysis a face reads is of the text as changed: `lab` is defined.
  std::vector<std::string> out;
  const Analysis* analysis = server->analysisOf(kUri, out);
  ASSERT_NE(analysis, nullptr);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(analysis->findings.empty());
  EXPECT_EQ(request("textDocument/definition", at(0, 2))["result"][0]["range"], range(1, 0, 3));
  // Told to publish again, the next change is published.
  server->setPublishing(true);
  const std::vector<json> sent = notify("textDocument/didChange",
                                        {{"textDocument", {{"uri", kUri}, {"version", 3}}},
                                         {"contentChanges", {{{"range", range(1, 0, 3)}, {"text", "lob"}}}}});
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["method"], "textDocument/publishDiagnostics");
  EXPECT_EQ(sent[0]["params"]["diagnostics"].size(), 1u);
}

TEST_F(ServerTest, DiagnosticsAtTheirPlacesInBothEncodings) {
  for (const char* encoding : {"utf-16", "utf-8"}) {
    SCOPED_TRACE(encoding);
    server = std::make_unique<LanguageServer>(Build::full);
    start(json::object(), encoding);
    const json found = open(kProgram);
    ASSERT_EQ(found.size(), 3u) << found.dump();
    EXPECT_EQ(found[0]["range"], range(3, 8, 10));
    EXPECT_EQ(found[0]["code"], "not-an-instruction");
    EXPECT_EQ(found[0]["source"], "quellmark");
    EXPECT_EQ(found[0]["severity"], 2);
    EXPECT_EQ(found[1]["range"], range(5, 13, 16));
    EXPECT_EQ(found[2]["code"], "redefined");
    EXPECT_EQ(found[2]["relatedInformation"][0]["location"]["range"], range(2, 0, 4));
    // An edit after the non-ASCII comment of line 2 lands where the client
    // means it: the comment is 2 units in UTF-16 and 3 bytes in UTF-8.
    const int end = std::string(encoding) == "utf-8" ? 27 : 26;
    const std::vector<json> out = notify(
        "textDocument/didChange",
        {{"textDocument", {{"uri", kUri}, {"version", 2}}},
         {"contentChanges", {{{"range", range(2, end, end)}, {"text", " x"}},
                             {{"range", range(3, 8, 10)}, {"text", "add"}}}}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]["params"]["version"], 2);
    EXPECT_EQ(out[0]["params"]["diagnostics"].size(), 2u);
    const json hover = request("textDocument/hover", at(3, 9))["result"]["contents"]["value"];
    EXPECT_EQ(hover, "0001: 08A0 \u2014 add, ra r2, rb r2, rc r1");
    const std::vector<json> closed =
        notify("textDocument/didClose", {{"textDocument", {{"uri", kUri}}}});
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(closed[0]["params"]["diagnostics"].empty());
  }
}

TEST_F(ServerTest, ATokenCutInsideALetterStaysValidJson) {
  start();
  // The 99th byte is the first of "é", so the assembler's first piece ends
  // inside it, and the finding quotes half a letter.
  const json found = open("j" + std::string(41, ' ') + std::string(56, 'a') + "\u00e9t\u00e9\n");
  const auto halfLetter = [](const json& d) {
    return d["message"].get<std::string>().find("\ufffd") != std::string::npos;
  };
  EXPECT_TRUE(std::any_of(found.begin(), found.end(), halfLetter)) << found.dump();
}

// A quick fix per fixable finding on the lines asked about, tied to its
// diagnostic; applied by the client, its finding goes.
TEST_F(ServerTest, QuickFixesAreTiedToTheirDiagnosticsAndMendThem) {
  for (const char* encoding : {"utf-16", "utf-8"}) {
    SCOPED_TRACE(encoding);
    server = std::make_unique<LanguageServer>(Build::full);
    start(json::object(), encoding);
    const json found = open(kProgram);
    const auto actions = [&](int from, int to) {
      return request("textDocument/codeAction",
                     {{"textDocument", {{"uri", kUri}}},
                      {"range", {{"start", {{"line", from}, {"character", 0}}}, {"end", {{"line", to}, {"character", 0}}}}},
                      {"context", {{"diagnostics", json::array()}}}})["result"];
    };
    EXPECT_TRUE(actions(0, 2).empty());
    const json all = actions(0, 7);
    ASSERT_EQ(all.size(), 2u) << all.dump();
    EXPECT_EQ(all[0]["title"], "did you mean 'add'?");
    EXPECT_EQ(all[0]["kind"], "quickfix");
    EXPECT_EQ(all[0]["diagnostics"][0], found[0]);
    EXPECT_EQ(all[1]["title"], "did you mean 'loop'?");
    EXPECT_EQ(all[1]["diagnostics"][0], found[1]);
    json changes = json::array();
    for (const json& action : all) {
      for (const json& edit : action["edit"]["changes"][kUri]) {
        changes.push_back({{"range", edit["range"]}, {"text", edit["newText"]}});
      }
    }
    // The later edit first, so that the earlier one's place stands.
    std::reverse(changes.begin(), changes.end());
    const std::vector<json> out = notify("textDocument/didChange",
                                         {{"textDocument", {{"uri", kUri}, {"version", 2}}}, {"contentChanges", changes}});
    ASSERT_EQ(out.size(), 1u);
    const json left = out[0]["params"]["diagnostics"];
    ASSERT_EQ(left.size(), 1u) << left.dump();
    EXPECT_EQ(left[0]["code"], "redefined");
    EXPECT_TRUE(request("textDocument/codeAction", at(1, 0))["error"].is_object());
  }
}

TEST_F(ServerTest, OperandHelpAsOneTypes) {
  start();
  open("        beq r1, r0, loop\n        lw r1, 4(\n        hlt\n; beq r1\n");
  const json first = request("textDocument/signatureHelp", at(0, 12))["result"];
  EXPECT_EQ(first["signatures"][0]["label"], "beq ra, rb, label");
  EXPECT_EQ(first["activeParameter"], 0);
  const json third = request("textDocument/signatureHelp", at(0, 20))["result"];
  EXPECT_EQ(third["activeParameter"], 2);
  EXPECT_EQ(third["signatures"][0]["documentation"], "offset −64..63 from the next word");
  EXPECT_EQ(third["signatures"][0]["parameters"][2],
            (json{{"label", {12, 17}}, {"documentation", "offset −64..63 from the next word"}}));
  const json load = request("textDocument/signatureHelp", at(1, 17))["result"];
  EXPECT_EQ(load["signatures"][0]["label"], "lw ra, offset(rb)");
  EXPECT_EQ(load["activeParameter"], 2);
  // No help where no operand is typed: after `hlt`, before a mnemonic, in a comment.
  EXPECT_TRUE(request("textDocument/signatureHelp", at(2, 12))["result"].is_null());
  EXPECT_TRUE(request("textDocument/signatureHelp", at(0, 4))["result"].is_null());
  EXPECT_TRUE(request("textDocument/signatureHelp", at(3, 7))["result"].is_null());
}

// The layout's edits, of the whole document or of a range; applied, the
// document is in the layout.
TEST_F(ServerTest, FormattingWholeAndInARange) {
  start();
  open("LOOP: ADDI R1,R0,5 ;x\r\n j LOOP\r\n");
  const json ranged = request("textDocument/rangeFormatting",
                              {{"textDocument", {{"uri", kUri}}}, {"range", range(1, 0, 3)}, {"options", json::object()}})["result"];
  ASSERT_EQ(ranged.size(), 1u) << ranged.dump();
  EXPECT_EQ(ranged[0], (json{{"range", range(1, 0, 7)}, {"newText", "        j    LOOP"}}));
  const json whole = request("textDocument/formatting", {{"textDocument", {{"uri", kUri}}}, {"options", json::object()}})["result"];
  ASSERT_EQ(whole.size(), 2u);
  EXPECT_EQ(whole[0]["newText"], "LOOP:   addi r1, r0, 5          ;x");
  json changes = json::array();
  for (auto e = whole.rbegin(); e != whole.rend(); ++e) changes.push_back({{"range", (*e)["range"]}, {"text", (*e)["newText"]}});
  notify("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 2}}}, {"contentChanges", changes}});
  EXPECT_TRUE(request("textDocument/formatting", {{"textDocument", {{"uri", kUri}}}, {"options", json::object()}})["result"].empty());
}

TEST_F(ServerTest, HoverDefinitionReferencesAndHighlights) {
  start();
  open(kProgram);
  EXPECT_EQ(request("textDocument/hover", at(4, 9))["result"]["contents"]["value"],
            "0002: 8401 \u2014 beq, ra r1, rb r0, offset 1 \u2192 0004");
  EXPECT_EQ(request("textDocument/hover", at(4, 22))["result"]["contents"]["value"],
            "`loop` = 4 (0x0004), a label\n\ndefined at line 3, and last at line 7");
  EXPECT_EQ(request("textDocument/hover", at(1, 7))["result"]["contents"]["value"],
            "`n` = 5 (0x0005), a constant\n\ndefined at line 2");
  EXPECT_TRUE(request("textDocument/hover", at(0, 1))["result"].is_null());

  // The definition whose value is used comes first.
  const json definitions = request("textDocument/definition", at(4, 22))["result"];
  ASSERT_EQ(definitions.size(), 2u);
  EXPECT_EQ(definitions[0]["range"], range(6, 0, 4));
  EXPECT_EQ(definitions[1]["range"], range(2, 0, 4));

  json params = at(2, 1);
  params["context"] = {{"includeDeclaration", false}};
  EXPECT_EQ(request("textDocument/references", params)["result"],
            json::array({{{"uri", kUri}, {"range", range(4, 21, 25)}}}));
  params["context"]["includeDeclaration"] = true;
  EXPECT_EQ(request("textDocument/references", params)["result"].size(), 3u);
  const json highlights = request("textDocument/documentHighlight", at(2, 1))["result"];
  ASSERT_EQ(highlights.size(), 3u);
  EXPECT_EQ(highlights[0]["kind"], 3);
  EXPECT_EQ(highlights[2]["kind"], 2);

  const json symbols = request("textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}})["result"];
  ASSERT_EQ(symbols.size(), 3u);
  EXPECT_EQ(symbols[0]["name"], "n");
  EXPECT_EQ(symbols[0]["detail"], "5");
  EXPECT_EQ(symbols[1]["name"], "loop");
  EXPECT_EQ(symbols[1]["detail"], "4");
}

TEST_F(ServerTest, RenameChangesEveryPlaceAndRefusesWhatIsNoName) {
  start();
  open(kProgram);
  EXPECT_TRUE(request("textDocument/prepareRename", at(4, 9))["result"].is_null());
  EXPECT_EQ(request("textDocument/prepareRename", at(4, 23))["result"]["range"], range(4, 21, 25));
  json params = at(4, 23);
  params["newName"] = "again";
  const json edits = request("textDocument/rename", params)["result"]["changes"][kUri];
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0], (json{{"range", range(2, 0, 4)}, {"newText", "again"}}));
  EXPECT_EQ(edits[1]["range"], range(6, 0, 4));
  EXPECT_EQ(edits[2]["range"], range(4, 21, 25));
  for (const char* bad : {"add", "r3", "12", "two words", "dw"}) {
    params["newName"] = bad;
    EXPECT_EQ(request("textDocument/rename", params)["error"]["code"], -32803) << bad;
  }
}

TEST_F(ServerTest, InlayHintsShowEachLinesWords) {
  start();
  open("  dw 1, 2\n  hlt ; \u00fc\nhlt" + std::string(96, ' ') + "j 0\n");
  const json hints = request("textDocument/inlayHint",
                             {{"textDocument", {{"uri", kUri}}}, {"range", range(0, 0, 0)}})["result"];
  EXPECT_EQ(hints.size(), 1u);
  json all = {{"textDocument", {{"uri", kUri}}},
              {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 9}, {"character", 0}}}}}};
  const json every = request("textDocument/inlayHint", all)["result"];
  ASSERT_EQ(every.size(), 3u);
  EXPECT_EQ(every[0]["label"], "0000: 0001  0001: 0002");
  EXPECT_EQ(every[1]["label"], "0002: E000");
  EXPECT_EQ(every[1]["position"], (json{{"line", 1}, {"character", 9}}));
  EXPECT_EQ(every[2]["label"], "0003: E000  0004: A000");  // the line is read as two
}

TEST_F(ServerTest, TheBuildFollowsTheConfiguration) {
  start({{"build", "reduced"}});
  EXPECT_EQ(open("top:\nj top\n").size(), 1u);  // label-word
  const std::vector<json> out =
      notify("workspace/didChangeConfiguration", {{"settings", {{"build", "full"}}}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(out[0]["params"]["diagnostics"].empty());
  EXPECT_EQ(notify("workspace/didChangeConfiguration",
                   {{"settings", {{"quellmark", {{"build", "reduced"}}}}}})[0]["params"]["diagnostics"]
                .size(),
            1u);
}

TEST_F(ServerTest, CompletionByPlace) {
  start();
  open("define max 70\nloop: \n  addi r1, \n  addi r1, r2, \n  dw \n");
  const auto labels = [this](int line, int character) {
    std::vector<std::string> names;
    const json reply = request("textDocument/completion", at(line, character));
    for (const json& item : reply["result"]) names.push_back(item["label"]);
    return names;
  };
  const std::vector<std::string> statement = labels(0, 0);
  EXPECT_NE(std::find(statement.begin(), statement.end(), "beq"), statement.end());
  EXPECT_NE(std::find(statement.begin(), statement.end(), "dw"), statement.end());
  const std::vector<std::string> afterLabel = labels(1, 6);
  EXPECT_NE(std::find(afterLabel.begin(), afterLabel.end(), "addi"), afterLabel.end());
  EXPECT_EQ(std::find(afterLabel.begin(), afterLabel.end(), "define"), afterLabel.end());
  EXPECT_EQ(labels(2, 11), (std::vector<std::string>{"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7"}));
  EXPECT_EQ(labels(3, 15), (std::vector<std::string>{"max", "loop"}));
  EXPECT_TRUE(labels(4, 5).empty());
}

TEST_F(ServerTest, SemanticTokensAreRelative) {
  start();
  open("top: j top ; x\n  hlt\n");
  EXPECT_EQ(request("textDocument/semanticTokens/full", {{"textDocument", {{"uri", kUri}}}})["result"]["data"],
            (json{0, 0, 3, 0, 0,   // top (label)
                  0, 5, 1, 1, 0,   // j (mnemonic)
                  0, 2, 3, 5, 0,   // top (name)
                  0, 4, 3, 6, 0,   // ; x (comment)
                  1, 2, 3, 1, 0}));  // hlt
  // The tokens of a range of lines alone, counted from the start; a lone CR
  // ends a protocol line inside the assembler's line 2.
  open("top: j top ; x\n  hlt\r  j top\n  hlt\n");
  const auto ranged = [&](int first, int last) {
    return request("textDocument/semanticTokens/range",
                   {{"textDocument", {{"uri", kUri}}},
                    {"range", {{"start", {{"line", first}, {"character", 0}}}, {"end", {{"line", last}, {"character", 0}}}}}})["result"]["data"];
  };
  EXPECT_EQ(ranged(1, 2), (json{1, 2, 3, 1, 0,     // hlt
                                1, 2, 1, 5, 0,     // j, after the CR: an operand of hlt
                                0, 2, 3, 5, 0}));  // top
  EXPECT_EQ(ranged(3, 3), (json{3, 2, 3, 1, 0}));
  EXPECT_EQ(ranged(9, 12), json::array());
}

TEST_F(ServerTest, CrLfAndLoneCrLinesAndEditsPastTheEndInBothEncodings) {
  for (const char* encoding : {"utf-16", "utf-8"}) {
    SCOPED_TRACE(encoding);
    server = std::make_unique<LanguageServer>(Build::full);
    start(json::object(), encoding);
    // The protocol's fourth line starts after the lone CR; the assembler
    // reads "  hlt\r  j lop" as one line, `j lop` as what follows `hlt`.
    std::string text = "\u00e9: hlt\r\n  j lop\r\n  hlt\r  j lop\r\n";
    const json found = open(text);
    ASSERT_EQ(found.size(), 2u) << found.dump();
    EXPECT_EQ(found[0]["range"], range(1, 4, 7));
    EXPECT_EQ(found[1]["code"], "operands");
    EXPECT_EQ(found[1]["range"], range(3, 2, 3));
    // A character past the end of a line is the end of its content.
    const std::vector<json> out = notify(
        "textDocument/didChange",
        {{"textDocument", {{"uri", kUri}, {"version", 2}}},
         {"contentChanges", {{{"range", range(1, 99, 99)}, {"text", "x"}},
                             {{"range", range(3, 99, 99)}, {"text", "y"}}}}});
    text = "\u00e9: hlt\r\n  j lopx\r\n  hlt\r  j lopy\r\n";
    ASSERT_EQ(out.size(), 1u);
    const json after = out[0]["params"]["diagnostics"];
    ASSERT_EQ(after.size(), 2u) << after.dump();
    EXPECT_EQ(after[0]["range"], range(1, 4, 8));
    EXPECT_EQ(after[0]["message"], "`lopx` is not defined: it reads as 0");
    EXPECT_EQ(after[1]["range"], range(3, 2, 3));
    // The server's text is the client's: its findings are those of `check`.
    const Analysis a = analyse(text, Build::full);
    ASSERT_EQ(a.findings.size(), 2u);
    EXPECT_EQ(a.findings[1].message, after[1]["message"]);
    // Hints stand at the end of each line's content, and hover on the
    // protocol's fourth line finds the word of the assembler's third.
    const json hints = request(
        "textDocument/inlayHint",
        {{"textDocument", {{"uri", kUri}}},
         {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 9}, {"character", 0}}}}}})["result"];
    ASSERT_EQ(hints.size(), 3u);
    EXPECT_EQ(hints[0]["position"], (json{{"line", 0}, {"character", std::string(encoding) == "utf-8" ? 7 : 6}}));
    EXPECT_EQ(hints[2]["position"], (json{{"line", 3}, {"character", 8}}));
    EXPECT_EQ(request("textDocument/hover", at(3, 3))["result"]["contents"]["value"],
              "0002: E000 \u2014 hlt");
  }
}

TEST_F(ServerTest, EachRangeCoversItsTokenAndNoneIsEmpty) {
  start();
  // Two emoji, then an instruction short of an operand: the finding is at
  // the end of the statement, drawn on its last token.
  const json found = open("\U0001F600\U0001F600: lw r1\nj loop:push\nstart : add r1, r2, r3\n");
  ASSERT_EQ(found.size(), 3u) << found.dump();
  EXPECT_EQ(found[0]["code"], "operands");
  EXPECT_EQ(found[0]["range"], range(0, 9, 11));  // r1, after 4 units of emoji and ": lw "
  EXPECT_EQ(found[1]["code"], "undefined");
  EXPECT_EQ(found[1]["range"], range(1, 2, 11));  // loop:push
  EXPECT_EQ(found[2]["code"], "label-colon");
  EXPECT_EQ(found[2]["range"], range(2, 6, 7));  // the stray colon
}

TEST_F(ServerTest, AddressesPastFFFFAsTheListingWritesThem) {
  start();
  // Words 0 to 65,537, one a line: the hint and hover of the lines on both
  // sides of the 65,536th word.
  std::string text;
  for (int i = 0; i < 65538; ++i) text += "hlt\n";
  open(text);
  Analysis analysis;
  analyse(text, Build::full, analysis, "t.asm");
  const std::string& listing = analysis.texts->listing;
  for (const int line : {65534, 65535, 65536, 65537}) {
    SCOPED_TRACE(line);
    const json hints = request("textDocument/inlayHint", {{"textDocument", {{"uri", kUri}}},
                                                          {"range", range(line, 0, 0)}})["result"];
    ASSERT_EQ(hints.size(), 1u);
    const std::string label = hints[0]["label"];
    const std::string address = label.substr(0, label.find(':'));
    EXPECT_NE(listing.find("\n" + address + " E000 000E "), std::string::npos) << address;
    EXPECT_EQ(address, line < 65536 ? (line == 65534 ? "FFFE" : "FFFF") : (line == 65536 ? "10000" : "10001"));
    const std::string hover = request("textDocument/hover", at(line, 1))["result"]["contents"]["value"];
    EXPECT_TRUE(hover.starts_with(address + ": E000")) << hover;
  }
}

TEST_F(ServerTest, PositionsOutOfRangeOrOfTheWrongTypeAreRefused) {
  start();
  open(kProgram);
  const auto hoverAt = [this](json line, json character) {
    return request("textDocument/hover", {{"textDocument", {{"uri", kUri}}},
                                          {"position", {{"line", line}, {"character", character}}}});
  };
  for (const json& bad : {json(4294967300ULL), json(2147483648ULL), json(-1), json(1.5), json("3"),
                          json(nullptr), json::array()}) {
    EXPECT_EQ(hoverAt(bad, 1)["error"]["code"], -32602) << bad;
    EXPECT_EQ(hoverAt(1, bad)["error"]["code"], -32602) << bad;
  }
  // The largest the protocol allows is past every line: nothing there.
  EXPECT_TRUE(hoverAt(2147483647, 0)["result"].is_null());
  EXPECT_FALSE(hoverAt(4, 9)["result"].is_null());
  // A change with a wrong range changes nothing, and the server goes on.
  const json before = request("textDocument/hover", at(3, 13))["result"];
  notify("textDocument/didChange",
         {{"textDocument", {{"uri", kUri}, {"version", 2}}},
          {"contentChanges", {{{"range", range(3, 8, 10)}, {"text", "add"}},
                              {{"range", {{"start", {{"line", -1}, {"character", 0}}}}}, {"text", ""}}}}});
  EXPECT_EQ(request("textDocument/hover", at(3, 13))["result"], before);
  EXPECT_EQ(before["contents"]["value"], "0001: 0000");
}

TEST_F(ServerTest, HoverInTheFormatTheClientShows) {
  const json plain = request(
      "initialize",
      {{"capabilities", {{"textDocument", {{"hover", {{"contentFormat", {"plaintext"}}}}}}}}});
  ASSERT_TRUE(plain.contains("result"));
  open(kProgram);
  const json contents = request("textDocument/hover", at(1, 7))["result"]["contents"];
  EXPECT_EQ(contents["kind"], "plaintext");
  EXPECT_EQ(contents["value"], "n = 5 (0x0005), a constant\n\ndefined at line 2");
}

TEST_F(ServerTest, ABackslashOrControlCharacterInATokenStaysJson) {
  start();
  // Every reply is parsed by send(), so a bad escape would throw there.
  std::string text = "j a\\q\n  j \"b\"\n";
  for (char c = 1; c < 0x20; ++c) {
    if (c != '\n' && c != '\t' && c != '\r') text += std::string("j x") + c + "y\n";
  }
  const json found = open(text);
  ASSERT_GE(found.size(), 2u);
  EXPECT_EQ(found[0]["message"], "`a\\q` is not defined: it reads as 0");
  EXPECT_EQ(found[1]["message"], "`\"b\"` is not defined: it reads as 0");
}

// Serves the framed messages of `bodies` from first to last; what the server sent back.
std::vector<json> serve(const std::vector<std::string>& bodies) {
  std::string input;
  for (const std::string& b : bodies) input += framed(b);
  MemorySource in(input);
  MemorySink out;
  (void)serveLanguage(in, out, Build::full);
  std::vector<json> replies;
  std::string_view rest = out.text();
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n\r\n");
    const std::size_t length = std::stoul(std::string(rest.substr(16, end - 16)));
    replies.push_back(json::parse(rest.substr(end + 4, length)));
    rest.remove_prefix(end + 4 + length);
  }
  return replies;
}

const std::string kInitialize = R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})";

TEST(Serve, DeepNestingIsRefusedAndTheServerGoesOn) {
  const std::string deep(100000, '[');
  const std::string closed(100000, ']');
  const std::vector<json> replies = serve({
      kInitialize,
      R"({"jsonrpc":"2.0","id":)" + deep + closed + R"(,"method":"textDocument/hover","params":{}})",
      R"({"jsonrpc":"2.0","id":7,"method":"textDocument/hover","params":)" + deep + closed + "}",
      // 256 levels are still read; 257 are not.
      R"({"jsonrpc":"2.0","id":8,"method":"x","params":)" + std::string(255, '[') + std::string(255, ']') + "}",
      R"({"jsonrpc":"2.0","id":9,"method":"x","params":)" + std::string(256, '[') + std::string(256, ']') + "}",
      R"({"jsonrpc":"2.0","id":10,"method":"shutdown"})",
  });
  ASSERT_EQ(replies.size(), 6u);
  EXPECT_TRUE(replies[1]["id"].is_null());
  EXPECT_EQ(replies[1]["error"]["code"], -32600);
  EXPECT_EQ(replies[2]["id"], 7);
  EXPECT_EQ(replies[2]["error"]["code"], -32600);
  EXPECT_EQ(replies[3]["error"]["code"], -32601);  // read, and no such method
  EXPECT_EQ(replies[4]["error"]["code"], -32600);
  EXPECT_EQ(replies[5]["id"], 10);
  EXPECT_TRUE(replies[5]["result"].is_null());
}

TEST(Serve, ABurstOfChangesIsAnalysedOnceForTheLastVersion) {
  std::vector<std::string> bodies = {kInitialize};
  const json open = {{"jsonrpc", "2.0"},
                     {"method", "textDocument/didOpen"},
                     {"params", {{"textDocument", {{"uri", kUri}, {"version", 1}, {"text", "j x\n"}}}}}};
  bodies.push_back(open.dump());
  for (int version = 2; version <= 21; ++version) {
    const json change = {{"range", {{"start", {{"line", 0}, {"character", 3}}}, {"end", {{"line", 0}, {"character", 3}}}}},
                         {"text", "y"}};
    bodies.push_back(json{{"jsonrpc", "2.0"},
                          {"method", "textDocument/didChange"},
                          {"params", {{"textDocument", {{"uri", kUri}, {"version", version}}},
                                      {"contentChanges", {change}}}}}
                         .dump());
  }
  std::vector<json> replies = serve(bodies);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1]["params"]["version"], 21);
  EXPECT_EQ(replies[1]["params"]["diagnostics"][0]["message"],
            "`x" + std::string(20, 'y') + "` is not defined: it reads as 0");
  // A request in the burst is answered from the text as it is then, after
  // the diagnostics of that text.
  bodies.insert(bodies.begin() + 5,
                R"({"jsonrpc":"2.0","id":2,"method":"textDocument/hover","params":{"textDocument":{"uri":")" +
                    kUri + R"("},"position":{"line":0,"character":0}}})");
  replies = serve(bodies);
  ASSERT_EQ(replies.size(), 4u);
  EXPECT_EQ(replies[1]["params"]["version"], 4);
  EXPECT_EQ(replies[2]["id"], 2);
  EXPECT_EQ(replies[3]["params"]["version"], 21);
}

TEST(JsonText, QuotesBackslashesAndEveryControlCharacterReadBack) {
  std::string text = "\"\\a\\q\u00e9";
  for (char c = 0; c < 0x20; ++c) text += c;
  text += '\x7f';
  std::string written;
  appendJsonString(text, written);
  EXPECT_EQ(json::parse(written).get<std::string>(), text) << written;
}

// Bytes that are no UTF-8 become U+FFFD, one for each longest start of a
// letter (as browsers decode), and the rest stays.
TEST(JsonText, EachCutLetterIsOneReplacementMark) {
  const struct {
    const char* bytes;
    const char* text;
  } kCases[] = {
      {"a\xff\xC0\x80" "b", "a\ufffd\ufffd\ufffdb"},  // bytes that start no letter
      {"\xC3", "\ufffd"},                                 // two bytes, cut after one
      {"\xE2\x82", "\ufffd"},                             // three, cut after two
      {"\xE2\x82x", "\ufffdx"},
      {"\xF0\x9F\x98", "\ufffd"},                         // four, cut after three
      {"\xF0\x9F\x98\x80\xF0\x9F", "\U0001F600\ufffd"},
      {"\xE0\x80\x80", "\ufffd\ufffd\ufffd"},              // overlong
      {"\xED\xA0\x80", "\ufffd\ufffd\ufffd"},              // a surrogate
      {"\xF4\x90\x80\x80", "\ufffd\ufffd\ufffd\ufffd"},     // past U+10FFFF
      {"\xF4\x8F\xBF\xBF", "\U0010FFFF"},
      {"\xE0\xA0\x80", "\u0800"},
      {"\xC2\x80\xDF\xBF", "\u0080\u07FF"},
  };
  for (const auto& c : kCases) {
    std::string written;
    appendJsonString(c.bytes, written);
    EXPECT_EQ(json::parse(written).get<std::string>(), c.text) << written;
  }
}

TEST(MessageReader, FramesAndResynchronises) {
  const std::string body = R"({"jsonrpc":"2.0","method":"x"})";
  const std::string input = framed(body) + "X-Other: 1\r\n\r\n" + "content-length:  3\r\nA: b\r\n\r\nabc" +
                            "Content-Length: 99\r\n\r\nshort";
  MemorySource in(input);
  MessageReader reader(in);
  auto m = reader.next();
  ASSERT_TRUE(m && !m->badHeader);
  EXPECT_EQ(m->body, body);
  m = reader.next();
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->badHeader);
  m = reader.next();
  ASSERT_TRUE(m && !m->badHeader);
  EXPECT_EQ(m->body, "abc");
  EXPECT_FALSE(reader.next());  // the input ends inside a body
}

TEST(Serve, ExitStatusesAndEndOfInput) {
  const auto run = [](const std::vector<std::string>& bodies) {
    std::string input;
    for (const std::string& b : bodies) input += framed(b);
    MemorySource in(input);
    MemorySink out;
    return serveLanguage(in, out, Build::full);
  };
  const std::string init = R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})";
  const std::string shutdown = R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})";
  const std::string exit = R"({"jsonrpc":"2.0","method":"exit"})";
  EXPECT_EQ(run({init, shutdown, exit, init}), 0);
  EXPECT_EQ(run({init, exit}), 1);
  EXPECT_EQ(run({init, shutdown}), 0);
  EXPECT_EQ(run({init}), 1);
}

// The fuzzer checks a scenario's replies as one array: a reply that is
// empty, cut, or two values must still fail it.
TEST(Serve, RepliesReadAsOneArrayFailWhereOneWouldAlone) {
  const struct {
    std::vector<std::string_view> replies;
    bool json;
  } cases[] = {
      {{}, true},
      {{R"({"id":1,"result":[1,{"a":null}]})", "[]", "\"x\""}, true},
      {{"{}", ""}, false},
      {{"{}", "1,2"}, false},
      {{R"({"a":1)", R"("b":2})"}, false},
      {{"{", "}"}, false},
      {{"{}", "[1"}, false},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string_view reply : c.replies) shown += std::string(reply) + " | ";
    EXPECT_EQ(allJson(c.replies), c.json) << shown;
  }
}

TEST(Serve, AnswersEveryRequestOnAnyInput) {
  int inputs = 0;
  for (const char* target : {"lsp", "companion"}) {
    inputs += forEachKeptInput(FUZZ_DIR, target, [](const auto& path, const std::string& bytes) {
      EXPECT_EQ(serverFault(bytes), "") << path;
    });
  }
  EXPECT_GT(inputs, 2);
  std::mt19937 random(4242);
  for (int i = 0; i < 100; ++i) {
    const std::string source = generatedSource(random);
    ASSERT_EQ(serverFault(source), "") << source;
  }
}

}  // namespace
}  // namespace quellmark

namespace quellmark {
namespace {

// Typing, a letter at a time, with a line now and then pasted or taken
// away: after each change, the diagnostics and tokens are those of a
// server that opens the text as it then stands.
TEST_F(ServerTest, EditsGiveWhatOpeningTheTextGives) {
  start();
  // ASCII, so that its bytes are the protocol's characters.
  std::string text =
      "define N 5\nloop:   addi r1, r0, N ; count\n        ad   r2, r2, r1\n"
      "        beq  r1, r0, loop\n        j    lop\nloop:   hlt\ndone:   dw 1 2 3\n";
  open(text);
  std::mt19937 random(77);
  const std::string_view letters = "ad r1,:;x0 9loop\tbeqhlt()";
  for (int step = 0; step < 300; ++step) {
    const std::size_t at = random() % (text.size() + 1);
    std::string insert;
    std::size_t erase = 0;
    switch (random() % 6) {
      case 0: insert = "\nloop: j done\n"; break;
      case 1: erase = 1 + random() % 3; break;
      default: insert = std::string(1, letters[random() % letters.size()]); break;
    }
    erase = std::min(erase, text.size() - at);
    // The protocol's place of `at`: lines end at a line feed here.
    const auto place = [&text](std::size_t offset) {
      const std::size_t start = offset == 0 ? 0 : text.rfind('\n', offset - 1) + 1;
      return json{{"line", std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(start), '\n')},
                  {"character", offset - start}};
    };
    const json change = {{"range", {{"start", place(at)}, {"end", place(at + erase)}}}, {"text", insert}};
    const std::vector<json> out = notify(
        "textDocument/didChange",
        {{"textDocument", {{"uri", kUri}, {"version", step + 2}}}, {"contentChanges", {change}}});
    text.replace(at, erase, insert);
    ASSERT_EQ(out.size(), 1u);
    const json tokensAsk = {{"textDocument", {{"uri", kUri}}}};
    const json tokens = request("textDocument/semanticTokens/full", tokensAsk)["result"];
    // A second server, given the text whole.
    std::unique_ptr<LanguageServer> edited = std::exchange(server, std::make_unique<LanguageServer>(Build::full));
    start();
    const json diagnostics = open(text);
    const json whole = request("textDocument/semanticTokens/full", tokensAsk)["result"];
    server = std::move(edited);
    ASSERT_EQ(out[0]["params"]["diagnostics"], diagnostics) << "step " << step << ":\n" << text;
    ASSERT_EQ(tokens, whole) << "step " << step;
  }
}

TEST(ChangedLine, TheOneLineAnEditChanged) {
  struct Case {
    std::string_view before, after;
    std::optional<std::uint32_t> line;
    std::string_view lineBefore, lineAfter;
  };
  const Case cases[] = {
      {"a\nb\nc\n", "a\nbx\nc\n", 2, "b\n", "bx\n"},
      {"a\nb\nc\n", "a\nb\nc\n", std::nullopt, "", ""},          // the same text
      {"a\nb\nc\n", "a\nb\n\nc\n", std::nullopt, "", ""},        // a line feed comes
      {"a\nb\nc\n", "a\nbc\n", std::nullopt, "", ""},            // one goes
      {"ab\n", "a\n", 1, "ab\n", "a\n"},
      {"", "x", 1, "", "x"},
      {"a\nb", "a\nb c", 2, "b", "b c"},                           // the last line, with no line feed
      {"a\r\nb\r\n", "a\r\nxb\r\n", 2, "b\r\n", "xb\r\n"},
      {"aa\naa\n", "aa\naaa\n", 2, "aa\n", "aaa\n"},               // the same letters around
  };
  for (const Case& c : cases) {
    const std::optional<ChangedLine> found = changedLine(c.before, c.after);
    ASSERT_EQ(found.has_value(), c.line.has_value()) << c.before << " -> " << c.after;
    if (!found) continue;
    EXPECT_EQ(found->line, *c.line);
    EXPECT_EQ(found->before, c.lineBefore);
    EXPECT_EQ(found->after, c.lineAfter);
  }
}

}  // namespace
}  // namespace quellmark
