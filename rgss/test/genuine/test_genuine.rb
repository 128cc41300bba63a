# The script in a genuine Ruby 1.8.7, loaded as a game loads it, calling the
# library for real through the runtime's bridge: Win32API under Wine,
# dl's Win32API on Linux. The Bitmaps are the extension rgss_runtime's, laid
# out as the host lays them out, so that their object ids are handles the
# library resolves, and their pixels can be read and written beside the
# library's back (host_bytes).
#   ruby -I DIR_OF_rgss_runtime rgss/test/genuine/test_genuine.rb
# (tests/CMakeLists.txt runs it, on both targets.)

require 'test/unit'
require File.join(File.dirname(__FILE__), 'runtime')

class TestGenuineRuby < Test::Unit::TestCase
  # A w x h bitmap whose pixel i (in the buffer's order, bottom row first)
  # is [b, g, r, a] = yield(i).
  def bitmap_of(width, height)
    bitmap = Bitmap.new(width, height)
    bytes = []
    (width * height).times { |i| bytes.concat(yield(i)) }
    bitmap.host_bytes = bytes.pack('C*')
    bitmap
  end

  def pixels_of(bitmap)
    bytes = bitmap.host_bytes.unpack('C*')
    pixels = []
    pixels << bytes.slice!(0, 4) until bytes.empty?
    pixels
  end

  # The pixel at (x, y), y counted from the top, in the buffer's order.
  def index_of(bitmap, x, y)
    (bitmap.height - 1 - y) * bitmap.width + x
  end

  def bare(export, types)
    Win32API.new('vellora', export, types, 'i')
  end

  def test_the_script_finds_the_library_it_was_built_beside
    assert_equal true, Vellora.available?
    assert_equal Vellora::VERSION, Vellora.version
    assert_nil Vellora.game_window # no game window in a test
  end

  def test_each_method_changes_the_pixels_as_the_library_does
    colors = lambda { |i| [i * 7 % 256, i * 13 % 256, i * 29 % 256, 255] }
    bitmap = bitmap_of(4, 3, &colors)
    expected = pixels_of(bitmap)

    bitmap.invert
    expected = expected.map { |b, g, r, a| [255 - b, 255 - g, 255 - r, a] }
    assert_equal expected, pixels_of(bitmap)

    bitmap.change_tone(256, -256, 0)
    expected = expected.map { |b, _, _, a| [b, 0, 255, a] }
    assert_equal expected, pixels_of(bitmap)

    # An opaque source at full opacity replaces what it covers.
    source = bitmap_of(3, 3) { |i| [i, 100 + i, 200 + i, 255] }
    bitmap.blend_blt(1, 0, source, Rect.new(1, 1, 2, 2), :normal, 255)
    [[1, 0], [2, 0], [1, 1], [2, 1]].each do |x, y|
      expected[index_of(bitmap, x, y)] = pixels_of(source)[index_of(source, x, y + 1)]
    end
    assert_equal expected, pixels_of(bitmap)

    # The mask keeps the alpha where it lies and clears it elsewhere.
    mask = bitmap_of(2, 2) { [255, 255, 255, 255] }
    bitmap.clip_mask(mask, 1, 1, 0)
    bitmap.height.times do |y|
      bitmap.width.times do |x|
        covered = x >= 1 && x <= 2 && y >= 1 && y <= 2
        expected[index_of(bitmap, x, y)][3] = covered ? 255 : 0
      end
    end
    assert_equal expected, pixels_of(bitmap)

    block = bitmap_of(2, 2) { |i| [10 * (i + 1), 20, 30, 255] }
    block.mosaic(2, 2)
    assert_equal [[25, 20, 30, 255]] * 4, pixels_of(block)
    block.blur_box(1)
    assert_equal [[25, 20, 30, 255]] * 4, pixels_of(block)
  end

  def test_raw_pixels_and_size_go_both_ways
    bitmap = bitmap_of(3, 2) { |i| [i, 2 * i, 3 * i, 255 - i] }
    assert_equal bitmap.host_bytes, bitmap.pixel_data
    data = (0...24).map { |i| (i * 11 + 5) % 256 }.pack('C*')
    assert_same data, (bitmap.pixel_data = data)
    assert_equal data, bitmap.host_bytes
    assert_equal bitmap.host_pixel_address, bitmap.pixel_address

    bitmap.resize_cleared(5, 7)
    assert_equal [5, 7], [bitmap.width, bitmap.height]
    assert_equal "\0" * 140, bitmap.host_bytes

    path = 'vellora_genuine_test.png'
    begin
      bitmap.save_png(path)
      png = File.open(path, 'rb') { |file| file.read }
      assert_equal "\x89PNG\r\n\x1a\n", png[0, 8]
      assert_equal [5, 7], png[16, 8].unpack('N2') # IHDR width, height
    ensure
      File.delete(path) if File.exist?(path)
    end
  end

  # The 32-bit range's ends reach the library through the genuine bridge.
  def test_numbers_at_the_ends_of_the_32_bit_range_reach_the_library
    bitmap = bitmap_of(4, 4) { |i| [i, i, i, 255] }
    before = bitmap.host_bytes
    bitmap.blur_box(-2**31) # does nothing
    bitmap.mosaic(-2**31, -2**31) # blocks of 1: does nothing
    bitmap.blend_blt(-2**31, 2**31 - 1, bitmap) # wholly outside
    bitmap.blend_blt(0, 0, bitmap, Rect.new(-2**31, -2**31, 2**31 - 1, 2**31 - 1))
    bitmap.clip_mask(bitmap, -2**31, 2**31 - 1, 255)
    bitmap.change_tone(0, 0, 0, -2**31)
    assert_equal before, bitmap.host_bytes
    # A level beyond 0..9 means the default, filters whose low byte is 0 no
    # filtering: the file is written.
    path = 'vellora_genuine_test.png'
    begin
      assert_same bitmap, bitmap.save_png(path, 2**31 - 1, -2**31)
      assert_equal "\x89PNG\r\n\x1a\n", File.open(path, 'rb') { |file| file.read(8) }
    ensure
      File.delete(path) if File.exist?(path)
    end
    assert_raise(RangeError) { bitmap.blur_box(2**31) }
  end

  # The library tells a Bitmap by its object's flags word; freezing,
  # tainting and a finalizer each change it, and a disposed Bitmap has no
  # bitmap record. The script names what it can see; the library, called
  # bare, refuses them all.
  def test_the_library_refuses_frozen_tainted_finalized_and_disposed_bitmaps
    invert = bare('InvertColor', 'i')
    blend = bare('BlendBlt', 'iiiiiiiiii')
    live = bitmap_of(2, 2) { [1, 2, 3, 255] }
    frozen = bitmap_of(2, 2) { [1, 2, 3, 255] }
    frozen.freeze
    tainted = bitmap_of(2, 2) { [1, 2, 3, 255] }
    tainted.taint
    finalized = bitmap_of(2, 2) { [1, 2, 3, 255] }
    ObjectSpace.define_finalizer(finalized, proc {})
    disposed = bitmap_of(2, 2) { [1, 2, 3, 255] }
    disposed.dispose

    assert_equal 0, invert.call(live.object_id)
    [frozen, tainted, finalized].each do |bitmap|
      assert_equal Vellora::ERR_NOT_BITMAP, invert.call(bitmap.object_id)
      assert_equal Vellora::ERR_NOT_BITMAP - 100,
                   blend.call(live.object_id, 0, 0, bitmap.object_id, 0, 0, 2, 2, 0, 255)
    end
    assert_equal Vellora::ERR_NOT_BITMAP, invert.call('not a bitmap'.object_id)
    assert_equal Vellora::ERR_NO_BITMAP_RECORD, invert.call(disposed.object_id)

    { frozen => /the bitmap is frozen: the library refuses a frozen Bitmap/,
      tainted => /the bitmap is tainted: the library refuses a tainted Bitmap/,
      finalized => /a frozen or tainted Bitmap, or one with a finalizer/ }.each do |bitmap, words|
      error = assert_raise(Vellora::Error) { bitmap.invert }
      assert_equal Vellora::ERR_NOT_BITMAP, error.status
      assert_match words, error.message
      assert_equal [[1, 2, 3, 255]] * 4, pixels_of(bitmap)
    end
    error = assert_raise(Vellora::Error) { live.blend_blt(0, 0, frozen) }
    assert_equal Vellora::ERR_NOT_BITMAP - 100, error.status
    assert_match(/the source bitmap is frozen/, error.message)
    error = assert_raise(Vellora::Error) { live.clip_mask(disposed) }
    assert_equal Vellora::ERR_NO_BITMAP_RECORD - 100, error.status
    # Inverted once, by the first call; the refused calls changed nothing.
    assert_equal [[254, 253, 252, 255]] * 4, pixels_of(live)
  end
end
