// The MIME decoders against the forms real articles carry, and the
// encoded forms a posting writes.
#include "news/mime_text.h"

#include <gtest/gtest.h>

#include "news/news_article.h"

namespace netrove {
namespace {

using namespace std::string_literals;

TEST(MimeText, EncodedWordsDecodeInAnyKnownCharsetAndLeaveTheRest) {
  const struct {
    std::string raw;
    std::string shown;
  } cases[] = {
      {"=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=", "Grüße aus Köln"},
      {"=?utf-8?b?w4RwZmVs?= und =?UTF-8?Q?Birnen?=", "Äpfel und Birnen"},
      // Blanks between adjacent words go; blanks next to plain text stay.
      {"Re: =?UTF-8?B?w6Q=?=  =?UTF-8?B?w7Y=?= end", "Re: äö end"},
      {"=?KOI8-R?B?8NLJ18XU?=", "Привет"},
      {"=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=", "テスト"},
      {"=?UTF-8*de?Q?=C3=BC?=", "ü"},
      // Unknown or malformed: left as they were, never a crash.
      {"=?x-no-such-charset?Q?abc?=", "=?x-no-such-charset?Q?abc?="},
      {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
      {"=?UTF-8?Q?open", "=?UTF-8?Q?open"},
      {"=?../../etc?Q?a?=", "=?../../etc?Q?a?="},
      {"=?US-ASCII?Q?=FF?=", "=?US-ASCII?Q?=FF?="},
      {"=??Q?a?= =?", "=??Q?a?= =?"},
      // A decoded line end cannot start a header line of its own.
      {"=?UTF-8?Q?a=0D=0AFrom:_x?=", "a  From: x"},
      {"plain text", "plain text"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeEncodedWords(c.raw), c.shown) << c.raw;
}

TEST(MimeText, BodyEncodingsDecode) {
  EXPECT_EQ(DecodeQuotedPrintable("caf=C3=A9 =\r\nsoft=3D=\nbreak= \r\nx =ZZ ="),
            "café soft=breakx =ZZ =");
  EXPECT_EQ(DecodeBase64("SGVs\r\nbG8s IHdv\ncmxk!!IQ=="), "Hello, world!");
  EXPECT_EQ(DecodeBase64("YQ"), "a");
  EXPECT_EQ(DecodeBase64("YWI"), "ab");
  EXPECT_EQ(DecodeBase64("Y"), "");
  EXPECT_EQ(ConvertToUtf8("\xe9t\xe9", "windows-1252"), "été");
  EXPECT_EQ(ConvertToUtf8("\xff", "UTF-8"), std::nullopt);
  EXPECT_EQ(ConvertToUtf8("x", ""), std::nullopt);
}

TEST(MimeText, ArticlesAreShownDecodedAndPlainArticlesUnchanged) {
  const std::string plain = "Subject: Re: Root\r\n\r\nHello, world!\r\n";
  EXPECT_EQ(ArticleForDisplay(plain, true), plain);
  const std::string base64 =
      "Subject: =?ISO-8859-15?Q?Preis_10_=A4?=\r\nContent-Type: text/plain;\r\n "
      "charset=\"UTF-8\"\r\n"
      "Content-Transfer-Encoding: BASE64\r\n\r\nw4RwZmVsCg==\r\n";
  EXPECT_EQ(ArticleForDisplay(base64, true),
            "Subject: Preis 10 €\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n"
            "Content-Transfer-Encoding: BASE64\r\n\r\nÄpfel\n");
  const std::string latin =
      "Content-Type: text/plain; charset=iso-8859-1\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\nM=FCller\r\n\xe9\r\n";
  EXPECT_EQ(ArticleForDisplay(latin, true).substr(latin.find("\r\n\r\n") + 4), "Müller\r\né\r\n");
  // Not text: the part is shown as sent. Without the header the body stays.
  const std::string image =
      "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBO\r\n";
  EXPECT_EQ(ArticleForDisplay(image, true), image);
  EXPECT_EQ(ArticleForDisplay("w4RwZmVs\r\n", false), "w4RwZmVs\r\n");
}

TEST(MimeText, PostingEncodesWhatIsNotAscii) {
  EXPECT_EQ(EncodedHeaderValue("All ASCII =?"), "All ASCII =?");
  const std::string subject = EncodedHeaderValue("Re: Grüße aus Köln");
  EXPECT_EQ(subject, "Re: =?UTF-8?B?R3LDvMOfZQ==?= aus =?UTF-8?B?S8O2bG4=?=");
  EXPECT_EQ(DecodeEncodedWords(subject), "Re: Grüße aus Köln");
  // Long runs split between characters, each word within 75 characters.
  const std::string long_run = "€€€€€€€€€€€€€€€€€€€€€€€€€€€€€€ ääää";
  const std::string encoded = EncodedHeaderValue(long_run);
  EXPECT_EQ(DecodeEncodedWords(encoded), long_run);
  std::size_t at = 0;
  while ((at = encoded.find("=?", at)) != std::string::npos) {
    const std::size_t end = encoded.find("?=", at + 10) + 2;
    EXPECT_LE(end - at, 75u);
    at = end;
  }

  NewsArticleFields fields;
  fields.from = "Jörg Müller <jm@example.test>";
  fields.replyTo = "jm@example.test (Jörg)";
  fields.subject = "Über";
  fields.newsgroups = "local.test";
  fields.body = "Grüße\n";
  const NewsArticle article = BuildNewsArticle(fields);
  ASSERT_EQ(article.fault, NewsArticleFault::None);
  EXPECT_NE(article.wire.find("From: =?UTF-8?B?SsO2cmcgTcO8bGxlcg==?= <jm@example.test>\r\n"),
            std::string::npos);
  EXPECT_NE(article.wire.find("Reply-To: jm@example.test (=?UTF-8?B?SsO2cmc=?=)\r\n"),
            std::string::npos);
  EXPECT_NE(article.wire.find("\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                              "Content-Transfer-Encoding: 8bit\r\n"),
            std::string::npos);
  EXPECT_NE(article.wire.find("\r\n\r\nGrüße\r\n"), std::string::npos);
  fields.body = "ascii\n";
  fields.subject = "plain";
  EXPECT_EQ(BuildNewsArticle(fields).wire.find("MIME-Version"), std::string::npos);
}

}  // namespace
}  // namespace netrove
