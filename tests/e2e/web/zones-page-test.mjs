// The remote page in headless Chromium on a project of two zones: the zone choice shows, each
// item names its zone, both zones' playing items are marked, "next" with the ticker chosen goes
// to the ticker's zone, and an upload with it chosen lands in it.
// Usage: node zones-page-test.mjs BASE_URL TOKEN PICTURE
import { failure, launch } from "./browser.mjs";

const [base, token, picture] = process.argv.slice(2);
const fail = failure("zones-page-test");

const browser = await launch();
try {
  const page = await browser.newPage();
  const posted = [];
  page.on("request", (request) => {
    if (request.method() === "POST") posted.push(new URL(request.url()).pathname);
  });
  await page.goto(base + "/", { waitUntil: "load" });
  await page.waitForSelector("#login:not([hidden])");
  await page.type("#token", token);
  await page.click("#login button");
  await page.waitForSelector("#main:not([hidden])");
  await page.waitForSelector("#zoneChoice:not([hidden])", { timeout: 20000 });
  const options = await page.$$eval("#zone option", (o) => o.map((x) => x.textContent));
  if (options.join() !== "main,ticker") fail("the zones offered: " + options.join());
  await page.waitForFunction(() => document.querySelectorAll("#items li.playing").length === 2,
                             { timeout: 20000 });
  const lines = await page.$$eval("#items li", (items) => items.map((li) => li.textContent));
  console.log("zones page: " + lines.join(" | "));
  if (!lines[0].startsWith("main · ") || !lines[1].startsWith("ticker · "))
    fail("the items do not name their zones");

  await page.select("#zone", "1");
  await page.click('[data-cmd="next"]');
  await new Promise((resolve) => setTimeout(resolve, 300));
  if (!posted.includes("/api/zones/1/next")) fail("next went to " + posted.join(", "));
  await page.click('[data-cmd="pause"]');
  await new Promise((resolve) => setTimeout(resolve, 300));
  if (!posted.includes("/api/pause")) fail("pause went to " + posted.join(", "));

  const input = await page.$("#file");
  await input.uploadFile(picture);
  await page.waitForFunction(() => document.querySelectorAll("#items li").length === 3,
                             { timeout: 10000 });
  const added = await page.$$eval("#items li", (items) => items[2].dataset.zone);
  if (added !== "1") fail("the upload went into zone " + added);
  if (!posted.includes("/api/zones/1/items")) fail("the upload went to " + posted.join(", "));
  console.log("zones-page-test: passed");
} finally {
  await browser.close();
}
