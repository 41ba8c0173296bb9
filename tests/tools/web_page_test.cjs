// The show's web page in Debian's chromium, driven by puppeteer-core: the page
// of a recording (REC_DIR/web, beside the recorder's stills) is served by
// python3's static file server, sought to each still's moment and
// photographed, and each photograph's cells must have the still's colours;
// then it plays 10 s and the music must keep to the picture.
//   node web_page_test.cjs REC_DIR NAME@SECONDS,...
// Exits 77 (skipped) when chromium cannot start.
const { execFileSync, spawn } = require("child_process");
const fs = require("fs");
const net = require("net");
const os = require("os");
const path = require("path");
const puppeteer = require(path.join(__dirname, "../../tools/web/node_modules/puppeteer-core"));

const [recDir, momentList] = process.argv.slice(2);
const moments = momentList.split(",").map((m) => {
  const [name, at] = m.split("@");
  return { name, at: Number(at) };
});
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
let failures = 0;
function check(ok, what) {
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
  if (!ok) failures++;
}

// The cast's events as [time, data]; the first frame is the first event that
// is not the reset, the cursor hiding or the blank reserved lines.
const events = fs
  .readFileSync(path.join(recDir, "web/demo.cast"), "utf8")
  .split("\n")
  .slice(1)
  .filter((l) => l.startsWith("["))
  .map((l) => JSON.parse(l));
const firstFrame = events.findIndex(
  ([, , d]) => d !== "\x1bc" && d !== "\x1b[?25l" && !/^( |\r\n)*$/.test(d),
);

function freePort() {
  return new Promise((resolve) => {
    const s = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

// Per cell of an 80x25 picture in the page: the palette index of its paper
// (the commonest colour) and of its ink (the next, when it covers a twentieth
// of the cell), or -1. Pixels far from every palette colour are not counted.
function cellColours(src, box) {
  const PALETTE = [
    0x000000, 0xaa0000, 0x00aa00, 0xaa5500, 0x0000aa, 0xaa00aa, 0x00aaaa, 0xaaaaaa, 0x555555,
    0xff5555, 0x55ff55, 0xffff55, 0x5555ff, 0xff55ff, 0x55ffff, 0xffffff,
  ];
  return new Promise((resolve, reject) => {
    const img = new Image();
    img.onerror = () => reject(new Error("cannot decode " + src.slice(0, 40)));
    img.onload = () => {
      const c = document.createElement("canvas");
      c.width = img.width;
      c.height = img.height;
      const g = c.getContext("2d");
      g.drawImage(img, 0, 0);
      const d = g.getImageData(0, 0, img.width, img.height).data;
      const b = box || { x: 0, y: 0, w: img.width, h: img.height };
      const out = [];
      for (let row = 0; row < 25; row++)
        for (let col = 0; col < 80; col++) {
          const hist = new Array(16).fill(0);
          let counted = 0;
          const x0 = Math.ceil(b.x + (col * b.w) / 80), x1 = Math.floor(b.x + ((col + 1) * b.w) / 80);
          const y0 = Math.ceil(b.y + (row * b.h) / 25), y1 = Math.floor(b.y + ((row + 1) * b.h) / 25);
          for (let y = y0; y < y1; y++)
            for (let x = x0; x < x1; x++) {
              const i = (y * img.width + x) * 4;
              let best = -1, dist = 48;
              PALETTE.forEach((p, k) => {
                const e =
                  Math.abs(d[i] - (p >> 16)) + Math.abs(d[i + 1] - ((p >> 8) & 255)) + Math.abs(d[i + 2] - (p & 255));
                if (e < dist) {
                  dist = e;
                  best = k;
                }
              });
              if (best >= 0) {
                hist[best]++;
                counted++;
              }
            }
          const order = hist.map((n, k) => [n, k]).sort((a, z) => z[0] - a[0]);
          out.push([order[0][1], order[1][0] * 20 >= counted ? order[1][1] : -1]);
        }
      resolve(out);
    };
    img.src = src;
  });
}

async function main() {
  const port = await freePort();
  const server = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", String(port)], {
    cwd: recDir,
    stdio: "ignore",
  });
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "web-page-test-"));
  let browser;
  try {
    try {
      browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        args: [
          "--no-sandbox",
          "--disable-gpu",
          "--disable-quic",
          "--no-first-run",
          "--disable-background-networking",
          "--disable-component-update",
          "--disable-sync",
          "--autoplay-policy=no-user-gesture-required",
          "--user-data-dir=" + profile,
        ],
      });
    } catch (e) {
      console.log("SKIPPED: chromium cannot start: " + e.message.split("\n")[0]);
      return 77;
    }
    const page = await browser.newPage();
    page.on("pageerror", (e) => console.log("page error: " + e.message));
    // The player makes its audio element out of the page; keep hold of it.
    await page.evaluateOnNewDocument(() => {
      const Plain = window.Audio;
      window.audios = [];
      window.Audio = function (...a) {
        const x = new Plain(...a);
        window.audios.push(x);
        return x;
      };
    });
    await page.setViewport({ width: 1100, height: 900 });
    for (let tries = 0; ; tries++) {
      try {
        await page.goto(`http://127.0.0.1:${port}/web/`, { waitUntil: "load" });
        break;
      } catch (e) {
        if (tries == 20) throw e;
        await sleep(250);  // the server is still starting
      }
    }
    await page.waitForFunction(() => window.player && window.player.getDuration() > 0, {
      timeout: 30000,
    });

    // The terminal's cells, inside its border.
    const term = await page.$(".ap-term");
    const box = await term.evaluate((el) => {
      const r = el.getBoundingClientRect(), s = getComputedStyle(el);
      const bl = parseFloat(s.borderLeftWidth), bt = parseFloat(s.borderTopWidth);
      return {
        x: r.x + bl,
        y: r.y + bt,
        w: r.width - bl - parseFloat(s.borderRightWidth),
        h: r.height - bt - parseFloat(s.borderBottomWidth),
      };
    });
    for (const m of moments) {
      await page.evaluate((t) => window.player.seek(t), events[firstFrame][0] + m.at);
      await sleep(300);
      const shot = await page.screenshot({ encoding: "base64", clip: { x: box.x, y: box.y, width: box.w, height: box.h } });
      const [got, want] = await Promise.all([
        page.evaluate(cellColours, "data:image/png;base64," + shot, null),
        page.evaluate(cellColours, `/${m.name}.png`, null),
      ]);
      let same = 0;
      got.forEach(([paper, ink], k) => {
        if (paper == want[k][0] && ink == want[k][1]) same++;
      });
      check(same >= 0.95 * 2000, `${m.name} at ${m.at} s: ${same} of 2000 cells as in the still`);
    }

    // Ten seconds of playback from the start: the music plays on, and its
    // position is the player's.
    await page.evaluate(() => window.player.seek(0));
    await page.evaluate(() => window.player.play());
    await sleep(10000);
    const [player, audio, playing] = await page.evaluate(() => {
      const a = window.audios[window.audios.length - 1];
      return [window.player.getCurrentTime(), a ? a.currentTime : -1, a ? !a.paused : false];
    });
    check(
      playing && audio > 9 && Math.abs(audio - player) <= 0.1,
      `after 10 s the music is at ${audio.toFixed(3)} s, the player at ${player.toFixed(3)} s`,
    );
  } finally {
    if (browser) await browser.close();
    server.kill();
    fs.rmSync(profile, { recursive: true, force: true });
  }

  // The tone of the stand-in show starts with its frame 20: in the page's
  // music it must start at that frame's time in the cast.
  const raw = execFileSync("ffmpeg", ["-v", "error", "-i", path.join(recDir, "web/demo.ogg"), "-f", "s16le", "-ac", "1", "-ar", "48000", "-"], { maxBuffer: 1 << 28 });
  let loud = 0;
  while (loud + 1 < raw.length && Math.abs(raw.readInt16LE(loud)) < 3000) loud += 2;
  const toneAt = loud / 2 / 48000, frame20 = events[firstFrame + 20][0];
  check(Math.abs(toneAt - frame20) <= 0.04, `the tone starts at ${toneAt.toFixed(3)} s, frame 20 at ${frame20.toFixed(3)} s`);
  return failures ? 1 : 0;
}

main().then(
  (status) => process.exit(status),
  (e) => {
    console.log("FAIL " + e.stack);
    process.exit(1);
  },
);
