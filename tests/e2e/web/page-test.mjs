// The remote page in Debian's Chromium, headless: it loads without a token, takes the token,
// stops and starts playback, and uploads a picture that then appears in the playlist.
// Usage: node page-test.mjs BASE_URL TOKEN PICTURE SCREENSHOT_DIR
import { failure, launch } from "./browser.mjs";

const [base, token, picture, shots] = process.argv.slice(2);
const fail = failure("page-test");

const browser = await launch();
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 900, height: 700 });
  const offsite = [];
  page.on("request", (request) => {
    if (!request.url().startsWith(base) && !request.url().startsWith("blob:") &&
        !request.url().startsWith("data:"))
      offsite.push(request.url());
  });
  await page.goto(base + "/", { waitUntil: "load" });
  await page.waitForSelector("#login:not([hidden])");

  // A wrong token first: refused, the form stays.
  await page.type("#token", "wrong");
  await page.click("#login button");
  await page.waitForFunction(() => document.getElementById("loginError").textContent !== "");
  await page.$eval("#token", (input) => (input.value = ""));
  await page.type("#token", token);
  await page.click("#login button");
  await page.waitForSelector("#main:not([hidden])");
  await page.waitForFunction(() => document.querySelectorAll("#items li").length >= 2);
  console.log("page: logged in, " +
              (await page.$$eval("#items li", (items) => items.length)) + " items");

  // Generous: the sanitized program beside the rest of the suite can take seconds to answer.
  const stateAfter = async (command, wanted) => {
    await page.click(`[data-cmd="${command}"]`);
    await page.waitForFunction(
      (w) => document.getElementById("state").dataset.state === w, { timeout: 20000 }, wanted);
    console.log(`page: ${command} -> ${wanted}`);
  };
  await stateAfter("stop", "stopped");
  await stateAfter("play", "playing");

  // The LED picture refreshes from the program.
  await page.waitForFunction(() => document.getElementById("led").naturalWidth > 0);

  const before = await page.$$eval("#items li", (items) => items.length);
  const input = await page.$("#file");
  await input.uploadFile(picture);
  await page.waitForFunction(
    (n) => document.querySelectorAll("#items li").length === n + 1, { timeout: 10000 }, before);
  const names = await page.$$eval("#items li", (items) => items.map((li) => li.textContent));
  console.log("page: uploaded, the list now ends with " + names[names.length - 1]);
  if (!names[names.length - 1].endsWith(".png")) fail("the upload is not in the list");
  const message = await page.$eval("#message", (p) => p.textContent);
  if (!message.includes("page-upload")) fail("no word of the upload: " + message);

  await page.screenshot({ path: shots + "/remote-page.png" });
  if (offsite.length) fail("the page fetched from elsewhere: " + offsite.join(", "));
  console.log("page-test: passed");
} finally {
  await browser.close();
}
