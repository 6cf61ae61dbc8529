"""The page in headless Chromium, driven as a user drives it: two strokes drawn with the
pointer, each taking the next free adjust group, a hue slider dragged (frames while it moves,
proxies until let go), undone and redone, a stroke moved with the Select tool, undone and
redone, the labels view, the scene saved; another picture opened, a scene of over a megabyte
loaded and graded, the page's session closed by other pages and taken up again, and the scene
saved over itself once the user agrees. The saved scene must make the command-line tool render
exactly the frames the page showed. Screenshots of each step go to the test's output folder
(ZP_STUDIO_OUTPUT)."""

import base64
import json
import os

import numpy as np
import OpenImageIO as oiio
import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import Select, WebDriverWait

from conftest import (Studio, folder_with_example, many_vertices, png_pixels, read_pixels,
                      render_cli)

WAIT = 120  # seconds: a cold render on a loaded two-core machine


@pytest.fixture
def output(tmp_path):
    folder = os.environ.get("ZP_STUDIO_OUTPUT") or str(tmp_path / "output")
    os.makedirs(folder, exist_ok=True)
    return folder


@pytest.fixture
def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1400,900", "--force-device-scale-factor=1"):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    yield driver
    driver.quit()


class Page:
    def __init__(self, driver, output):
        self.d = driver
        self.output = output
        self.shots = 0

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def wait(self, what, condition):
        try:
            return WebDriverWait(self.d, WAIT, poll_frequency=0.1).until(lambda _: condition())
        except Exception:
            self.shot("failed")
            logs = "\n".join(e["message"] for e in self.d.get_log("browser"))
            pytest.fail(f"waiting for {what}: {self.message()}\nconsole:\n{logs}")

    def message(self):
        return self.js("return document.querySelector('#message').textContent")

    def shot(self, name):
        self.shots += 1
        self.d.save_screenshot(os.path.join(self.output, f"{self.shots:02d}-{name}.png"))

    def shown(self):
        """(seq, view) of the frame on screen, once no render is in flight."""
        return self.js("const b = document.body.dataset;"
                       "return b.busy === '1' ? null : [Number(b.shownSeq || 0), b.shownView]")

    def settled_frame(self, view, after_seq):
        """The PNG bytes of the first frame of `view` newer than after_seq, once none is due."""
        self.wait(f"a {view} frame", lambda: (s := self.shown()) and s[0] > after_seq
                  and s[1] == view)
        return self.shown()[0], base64.b64decode(self.js(
            "return await window.studio.shownPng()"))

    def drag(self, element, dx):
        self.d.execute_script("arguments[0].scrollIntoView({block: 'center'})", element)
        ActionChains(self.d, duration=50).click_and_hold(element).move_by_offset(dx, 0) \
            .release().perform()

    def answer_confirm(self, accept):
        """Waits for the page's confirm dialog; returns its text once answered."""
        WebDriverWait(self.d, WAIT).until(expected_conditions.alert_is_present())
        alert = self.d.switch_to.alert
        text = alert.text
        alert.accept() if accept else alert.dismiss()
        return text

    def keys(self, *keys, shift=False):
        """Ctrl (and Shift) with keys, as the page receives a shortcut."""
        chain = ActionChains(self.d).key_down(Keys.CONTROL)
        if shift:
            chain.key_down(Keys.SHIFT)
        chain.send_keys(*keys)
        if shift:
            chain.key_up(Keys.SHIFT)
        chain.key_up(Keys.CONTROL).perform()

    def masks(self):
        return self.js("return window.studio.model.masks.map(m => m.vertices)")

    def draw(self, points):
        """Presses at the first picture point, drags through the others, releases."""
        canvas = self.d.find_element(By.ID, "canvas")
        view = self.js("const v = window.studio.viewer, r = v.canvas.getBoundingClientRect();"
                       "return [v.scale, v.offset.x, v.offset.y, r.width, r.height]")
        scale, ox, oy, w, h = view
        self.scale = scale

        def offset(p):  # from the canvas centre, as the pointer actions count
            return round(p[0] * scale + ox - w / 2), round(p[1] * scale + oy - h / 2)

        # Several pointer moves per segment, as a hand makes them.
        path = [points[0]]
        for a, b in zip(points, points[1:]):
            path += [(a[0] + (b[0] - a[0]) * t / 4, a[1] + (b[1] - a[1]) * t / 4)
                     for t in range(1, 5)]
        steps = [offset(p) for p in path]
        chain = ActionChains(self.d, duration=20)
        chain.move_to_element_with_offset(canvas, *steps[0]).click_and_hold()
        for last, here in zip(steps, steps[1:]):
            chain.move_by_offset(here[0] - last[0], here[1] - last[1])
        chain.release().perform()


def test_strokes_groups_slider_labels_and_saved_scene(tmp_path, cli, browser, output):
    folder = folder_with_example(tmp_path / "folder")
    studio = Studio(folder, "astronaut.png")
    try:
        browser.get(studio.url + "/")
        page = Page(browser, output)
        page.wait("the page", lambda: page.js("return document.body.dataset.ready") == "1")
        seq, _ = page.settled_frame("image", 0)
        page.shot("opened")

        page.draw([(120, 170), (118, 100), (150, 40), (230, 15), (320, 12)])  # backdrop
        page.draw([(70, 290), (85, 330), (95, 370), (85, 430)])  # suit sleeve
        names = page.js("return window.studio.model.masks.map(m => [m.name, m.closed,"
                        " m.vertices.length])")
        assert [n[:2] for n in names] == [["Stroke 1", False], ["Stroke 2", False]]
        assert all(n[2] >= 2 for n in names)
        # Each stroke took the next free group by itself; choosing them again changes nothing.
        assert page.js("return [1, 2].map(k => document.getElementById("
                       "`p-adjust-${k}--mask`).selectedIndex)") == [1, 2]
        page.shot("strokes")

        for group, mask in (("adjust-1", 1), ("adjust-2", 2)):
            section = browser.find_element(By.CSS_SELECTOR,
                                           f"details[data-group='Adjust {group[-1]}'] > summary")
            section.click()
            Select(browser.find_element(By.ID, f"p-{group}--mask")).select_by_index(mask)
        seq, before = page.settled_frame("image", seq)
        page.shot("groups")

        hue = browser.find_element(By.ID, "p-adjust-1--hue")
        page.drag(hue, 45)
        value = float(hue.get_attribute("value"))
        assert value > 0
        seq, after = page.settled_frame("image", seq)
        assert after != before
        page.shot("hue")

        # A smooth drag: 20 input events 16 ms apart, then the thumb let go. Frames come while
        # it moves (proxies), not once it has stopped, and the last is the whole picture.
        frames = page.js("return [window.studio.frames, window.studio.proxyFrames]")
        browser.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const hue = document.getElementById('p-adjust-1--hue');
            let i = 0;
            const timer = setInterval(() => {
              hue.value = String(Number(hue.value) + 2);
              hue.dispatchEvent(new Event('input', {bubbles: true}));
              if (++i < 20) return;
              clearInterval(timer);
              hue.dispatchEvent(new Event('change', {bubbles: true}));
              done();
            }, 16);""")
        seq, dragged = page.settled_frame("image", seq)
        shown = page.js("return [window.studio.frames, window.studio.proxyFrames,"
                        " document.body.dataset.shownProxy]")
        assert shown[0] - frames[0] >= 3 and shown[1] - frames[1] >= 1, (frames, shown)
        assert shown[2] == "1"
        dragged_value = float(hue.get_attribute("value"))
        assert dragged_value == value + 40

        # The drag is one undo step, and redo brings it back.
        page.keys("z")
        seq, undone = page.settled_frame("image", seq)
        assert (float(hue.get_attribute("value")), undone) == (value, after)
        page.keys("z", shift=True)
        seq, redone = page.settled_frame("image", seq)
        assert (float(hue.get_attribute("value")), redone) == (dragged_value, dragged)
        value = dragged_value

        # Select the sleeve stroke by its path and drag it 40 screen pixels right and down.
        browser.find_element(By.CSS_SELECTOR, "[data-tool=select]").click()
        placed = page.masks()
        page.draw([(90, 350), (90 + 40 / page.scale, 350 + 40 / page.scale)])
        seq, moved_frame = page.settled_frame("image", seq)
        moved = page.masks()
        assert moved[0] == placed[0] and len(moved[1]) == len(placed[1])
        for a, b in zip(placed[1], moved[1]):
            assert abs(b["x"] - a["x"] - 40 / page.scale) < 1.5
            assert abs(b["y"] - a["y"] - 40 / page.scale) < 1.5
        assert moved_frame != dragged
        page.shot("moved")
        page.keys("z")
        seq, frame = page.settled_frame("image", seq)
        assert (page.masks(), frame) == (placed, dragged)
        page.keys("y")
        seq, frame = page.settled_frame("image", seq)
        assert (page.masks(), frame) == (moved, moved_frame)
        after = frame

        browser.find_element(By.CSS_SELECTOR, "[data-view=labels]").click()
        seq, labels = page.settled_frame("labels", seq)
        # Shown with each zone in its mask's colour; the frame kept is the effect's own.
        displayed = base64.b64decode(page.js("return await window.studio.displayedPng()"))
        page.shot("labels")
        # No group has Effects above 0: the weights view is black, and says why.
        browser.find_element(By.CSS_SELECTOR, "[data-view=weights]").click()
        seq, _ = page.settled_frame("weights", seq)
        note = browser.find_element(By.ID, "view-note")
        assert note.is_displayed() and "no group has Effects above 0" in note.text

        path = browser.find_element(By.ID, "scene-path")
        path.clear()
        path.send_keys("studio-scene.json")
        browser.find_element(By.ID, "scene-save").click()
        page.wait("the save", lambda: page.js("return document.body.dataset.savedScene")
                  == "studio-scene.json")
        page.shot("saved")
    finally:
        studio.stop()

    saved = os.path.join(folder, "studio-scene.json")
    with open(saved) as f:
        scene = json.load(f)
    assert [m["name"] for m in scene["masks"]] == ["Stroke 1", "Stroke 2"]
    assert scene["params"]["Adjust 1"] == {"Mask": "Stroke 1", "Hue": value}
    assert scene["params"]["Adjust 2"] == {"Mask": "Stroke 2"}
    picture = os.path.join(folder, "astronaut.png")
    for view, shown in (("image", after), ("labels", labels)):
        out = render_cli(cli, saved, picture, tmp_path / f"cli-{view}.png", "--view", view)
        assert np.array_equal(png_pixels(shown, tmp_path), read_pixels(out)), view
    # Where the tool's labels view shows Adjust 1's and 2's strokes (labels 2 and 3, at no
    # cost: the first two colours of its ring), the page showed Stroke 1's and 2's colours.
    tool = read_pixels(out)[:, :, :3]
    seen = png_pixels(displayed, tmp_path)[:, :, :3]
    for ring, mask in (((255, 64, 64), (0xff, 0x50, 0x50)), ((64, 200, 255), (0x40, 0x80, 0xff))):
        where = np.all(tool == ring, axis=2)
        assert where.sum() > 20 and np.all(seen[where] == mask), (ring, where.sum())


def test_a_scene_over_a_megabyte_grades_and_saves_over_itself_when_agreed(tmp_path, cli,
                                                                          browser, output):
    folder = folder_with_example(tmp_path / "folder")
    # A picture of the page's own, not the one the studio started with.
    crop = os.path.join(folder, "crop.png")
    pixels = read_pixels(os.path.join(folder, "astronaut.png"))[40:340, 60:460]
    out = oiio.ImageOutput.create(crop)
    assert out.open(crop, oiio.ImageSpec(400, 300, pixels.shape[2], "uint8"))
    assert out.write_image(np.ascontiguousarray(pixels)), out.geterror()
    out.close()
    big = os.path.join(folder, "big.json")
    with open(big, "w") as f:
        json.dump(many_vertices(10, 4000), f)
    assert os.path.getsize(big) > 1 << 20
    studio = Studio(folder, "astronaut.png")
    try:
        browser.get(studio.url + "/")
        page = Page(browser, output)
        page.wait("the page", lambda: page.js("return document.body.dataset.ready") == "1")
        seq, _ = page.settled_frame("image", 0)
        browser.find_element(By.ID, "image-path").send_keys("crop.png")
        browser.find_element(By.ID, "image-open").click()
        page.wait("the crop", lambda: page.message() == "opened crop.png")

        path = browser.find_element(By.ID, "scene-path")
        path.clear()
        path.send_keys("big.json")
        browser.find_element(By.ID, "scene-load").click()
        page.wait("the big scene", lambda: page.message() == "loaded big.json")
        seq, frame = page.settled_frame("image", seq)
        page.shot("big-scene")
        # Adjust 1 picks Ring 1, and links Ring 10 by its name (Link Masks: Mask Name); the
        # other eight protect their areas.
        uses = page.js("return [...document.querySelectorAll('#mask-list .use')]"
                       ".map(e => e.textContent)")
        assert uses == ["Adjust 1"] + ["protects this area"] * 8 + ["Adjust 1"]

        # Every move sends the whole scene again; each must come through whole.
        section = browser.find_element(By.CSS_SELECTOR, "details[data-group='Adjust 1'] > summary")
        section.click()
        hue = browser.find_element(By.ID, "p-adjust-1--hue")
        for move in (15, 35, -25, 45):  # from the middle of the slider, where a press lands
            page.drag(hue, move)
            seq, shown = page.settled_frame("image", seq)
            assert shown != frame and "JSON" not in page.message(), page.message()
            frame = shown
        page.shot("big-scene-graded")

        # More pages than the studio keeps: this one's session is closed. Its next move is told
        # so, and the page takes up a new session with its own picture; the frame after it is
        # still the crop graded with this page's scene.
        for k in range(8):
            studio.ok("/api/state", headers={"X-Studio-Client": f"other-{k}"})
        page.drag(hue, 10)
        page.wait("the new session", lambda: page.js("return document.body.dataset.recovered")
                  == "1")
        seq, frame = page.settled_frame("image", seq)
        value = float(hue.get_attribute("value"))

        with open(big, "rb") as f:
            before = f.read()
        browser.find_element(By.ID, "scene-save").click()
        assert "big.json already exists" in page.answer_confirm(accept=False)
        page.wait("the kept file", lambda: page.message() == "not saved: big.json kept")
        with open(big, "rb") as f:
            assert f.read() == before
        browser.find_element(By.ID, "scene-save").click()
        page.answer_confirm(accept=True)
        page.wait("the save", lambda: page.js("return document.body.dataset.savedScene")
                  == "big.json")
    finally:
        studio.stop()

    with open(big) as f:
        scene = json.load(f)
    assert scene["params"]["Adjust 1"] == {"Mask": "Ring 1", "Hue": value}
    assert [len(m["vertices"]) for m in scene["masks"]] == [4000] * 10
    out = render_cli(cli, big, crop, tmp_path / "cli.png")
    assert np.array_equal(png_pixels(frame, tmp_path), read_pixels(out))
