# The script against stand-ins of the runtime (Bitmap, Rect, Win32API): what
# each Bitmap method hands the library, and what it makes of each status.
#   ruby -Irgss/test rgss/test/test_vellora.rb

require 'minitest/autorun'
require 'rgss_stub'
require 'win32api_stub'
load File.expand_path('../vellora.rb', __dir__)

module VelloraTestHelper
  def setup
    Win32API.reset
    # Forget the bindings so each test sees the script bind afresh.
    Vellora::BOUND.instance_variables.each { |name| Vellora::BOUND.instance_variable_set(name, nil) }
    @bitmap = Bitmap.new(40, 30)
    @other = Bitmap.new(16, 12)
  end

  def only_call(name)
    assert_equal [name], Win32API.calls.map(&:name)
    Win32API.calls.first.args
  end

  def assert_vellora_error(status, export, &block)
    error = assert_raises(Vellora::Error, &block)
    if status.nil?
      assert_nil error.status
    else
      assert_equal status, error.status
    end
    assert_equal export, error.export
    error
  end

  # The error the block raises, as "Class: message".
  def assert_error_text(expected, &block)
    error = assert_raises(StandardError, &block)
    assert_equal expected, "#{error.class}: #{error.message}"
  end

  # Every Bitmap method with typical arguments, and the export it calls.
  def each_method
    yield 'BlendBlt', -> { @bitmap.blend_blt(1, 2, @other, Rect.new(0, 0, 4, 4)) }
    yield 'Blur', -> { @bitmap.blur_box(2) }
    yield 'Mosaic', -> { @bitmap.mosaic(4, 4) }
    yield 'ChangeTone', -> { @bitmap.change_tone(10, 20, 30) }
    yield 'InvertColor', -> { @bitmap.invert }
    yield 'ClipMask', -> { @bitmap.clip_mask(@other) }
    yield 'GetPixelData', -> { @bitmap.pixel_data }
    yield 'SetPixelData', -> { @bitmap.pixel_data = "\0" * (40 * 30 * 4) }
    yield 'ChangeSize', -> { @bitmap.resize_cleared(8, 8) }
    yield 'PngSaveA', -> { @bitmap.save_png('out.png') }
  end
end

class TestBinding < Minitest::Test
  include VelloraTestHelper

  # The library's exports, as src/export_list.txt lists them: each name and
  # its arguments, one letter each as Win32API takes them ('-' for none).
  EXPORT_LIST = File.readlines(File.expand_path('../../src/export_list.txt', __dir__))
                    .grep_v(/\A\s*(#|\z)/)
                    .to_h { |line| line.split.first(2) }
                    .transform_values { |letters| letters == '-' ? '' : letters }
                    .freeze

  def test_the_script_binds_every_export_of_the_list_with_its_argument_types
    refute_empty EXPORT_LIST
    assert_equal EXPORT_LIST, Vellora::IMPORTS
    Vellora::IMPORTS.each_key { |name| Vellora.api(name) }
    assert_equal EXPORT_LIST.keys.sort, Win32API.bindings.map(&:name).sort
    Win32API.bindings.each do |binding|
      assert_equal ['vellora', EXPORT_LIST[binding.name], 'i'],
                   [binding.dll, binding.import, binding.export], binding.name
    end
  end

  def test_constants_agree_with_the_c_header
    header = File.read(File.expand_path('../../include/vellora.h', __dir__))
    defines = header.scan(/^#define\s+(\w+)\s+\(?(-?(?:0x\h+|\d+))\)?/)
    shared = defines.map { |name, value| [name.sub(/\AVELLORA_/, ''), Integer(value)] }
                    .select { |name, _| Vellora.const_defined?(name, false) }
    names = shared.map(&:first)
    %w[OK VERSION ERR_NULL_HANDLE ERR_NOT_BITMAP ERR_NO_BITMAP_RECORD ERR_NO_INFO_HEADER
       ERR_BAD_INFO_HEADER ERR_BAD_PIXEL_BUFFER ERR_SECOND_BITMAP_OFFSET].each do |name|
      assert_includes names, name
    end
    shared.each { |name, value| assert_equal value, Vellora.const_get(name), name }
  end

  def test_each_export_is_bound_once_and_only_when_first_used
    assert_empty Win32API.bindings
    3.times { @bitmap.invert }
    assert_equal ['InvertColor'], Win32API.bindings.map(&:name)
    assert_equal 3, Win32API.calls_of('InvertColor').size
  end

  def test_the_script_is_plain_ascii
    # The runtimes read scripts in different encodings; ASCII reads the same
    # in all of them.
    script = File.binread(File.expand_path('../vellora.rb', __dir__))
    assert script.bytes.all? { |b| b == 10 || (32..126).cover?(b) },
           'non-ASCII byte or control character in the script'
  end

  def test_a_missing_library_fails_at_first_use_with_an_error_naming_the_dll
    Win32API.refuse_load = true
    error = assert_vellora_error(nil, 'InvertColor') { @bitmap.invert }
    assert_match(/vellora\.dll/, error.message)
    assert_match(/LoadLibrary: vellora/, error.message)
    refute Vellora.available?
    Win32API.refuse_load = false
    assert Vellora.available?
    assert_same @bitmap, @bitmap.invert
  end
end

class TestArguments < Minitest::Test
  include VelloraTestHelper

  def test_blend_blt_passes_position_source_rect_mode_and_opacity_in_order
    assert_same @bitmap, @bitmap.blend_blt(5, -6, @other, Rect.new(1, 2, 3, 4), :screen, 77)
    assert_equal [@bitmap.object_id, 5, -6, @other.object_id, 1, 2, 3, 4, 6, 77],
                 only_call('BlendBlt')
  end

  def test_blend_blt_defaults_to_the_whole_source_in_normal_mode_at_full_opacity
    @bitmap.blend_blt(0, 0, @other)
    assert_equal [@bitmap.object_id, 0, 0, @other.object_id, 0, 0, 16, 12, 0, 255],
                 only_call('BlendBlt')
  end

  def test_blend_modes_by_symbol_name_or_number
    numbers = { normal: 0, add: 1, subtract: 2, multiply: 3, color_dodge: 4,
                color_burn: 5, screen: 6, overlay: 7 }
    numbers.each do |name, number|
      [name, name.to_s, number].each { |mode| @bitmap.blend_blt(0, 0, @other, nil, mode) }
    end
    assert_equal numbers.values.flat_map { |n| [n, n, n] }, Win32API.calls.map { |c| c.args[8] }
  end

  def test_blend_modes_outside_the_eight_are_refused_before_any_call
    names = ':normal, :add, :subtract, :multiply, :color_dodge, :color_burn, :screen, :overlay'
    {
      :darken => "ArgumentError: unknown blend mode :darken (use #{names} or 0..7)",
      'lighten' => "ArgumentError: unknown blend mode :lighten (use #{names} or 0..7)",
      8 => 'ArgumentError: unknown blend mode 8 (use 0..7)',
      -1 => 'ArgumentError: unknown blend mode -1 (use 0..7)',
      -2**31 => 'ArgumentError: unknown blend mode -2147483648 (use 0..7)',
      nil => 'TypeError: blend mode must be a Symbol or 0..7, not NilClass',
      1.0 => 'TypeError: blend mode must be a Symbol or 0..7, not Float'
    }.each do |mode, text|
      assert_error_text(text) { @bitmap.blend_blt(0, 0, @other, nil, mode) }
    end
    assert_empty Win32API.calls
  end

  def test_opacity_and_mask_outside_value_are_limited_to_0_255
    [[300, 255], [256, 255], [255, 255], [0, 0], [-1, 0], [-300, 0], [128, 128]].each do |given, passed|
      @bitmap.blend_blt(0, 0, @other, nil, :add, given)
      assert_equal passed, Win32API.calls.last.args[9], "opacity #{given}"
      @bitmap.clip_mask(@other, 0, 0, given)
      assert_equal passed, Win32API.calls.last.args[4], "outside #{given}"
    end
  end

  def test_filters_take_the_whole_bitmap_or_a_rect
    @bitmap.blur_box(4)
    @bitmap.mosaic(8, 6)
    @bitmap.mosaic(2, 3, Rect.new(-1, 4, 10, 5))
    # Anything with the four readers serves as a Rect.
    @bitmap.mosaic(2, 3, Struct.new(:x, :y, :width, :height).new(1, 2, 3, 4))
    @bitmap.invert
    h = @bitmap.object_id
    assert_equal [['Blur', [h, 4]], ['Mosaic', [h, 0, 0, 40, 30, 8, 6]],
                  ['Mosaic', [h, -1, 4, 10, 5, 2, 3]], ['Mosaic', [h, 1, 2, 3, 4, 2, 3]],
                  ['InvertColor', [h]]],
                 Win32API.calls.map { |c| [c.name, c.args] }
  end

  def test_change_tone_passes_red_green_blue_and_skip_as_0_or_1
    [[false, 0], [nil, 0], [0, 0], [true, 1], [1, 1], [:yes, 1]].each do |skip, passed|
      @bitmap.change_tone(10, -20, 30, skip)
      assert_equal [@bitmap.object_id, 10, -20, 30, passed], Win32API.calls.last.args, skip.inspect
    end
    @bitmap.change_tone(256, 0, -256)
    assert_equal [@bitmap.object_id, 256, 0, -256, 0], Win32API.calls.last.args
  end

  def test_clip_mask_passes_target_mask_offsets_and_outside_value
    @bitmap.clip_mask(@other, 3, -4, 200)
    @bitmap.clip_mask(@bitmap)
    assert_equal [[@bitmap.object_id, @other.object_id, 3, -4, 200],
                  [@bitmap.object_id, @bitmap.object_id, 0, 0, 0]],
                 Win32API.calls.map(&:args)
  end

  def test_resize_cleared_passes_the_new_width_and_height
    assert_same @bitmap, @bitmap.resize_cleared(64, 48)
    assert_equal [@bitmap.object_id, 64, 48], only_call('ChangeSize')
  end

  def test_save_png_passes_a_zero_terminated_path_then_handle_level_and_filters
    @bitmap.save_png('shots/a.png', 9, :all)
    @bitmap.save_png('b.png')
    assert_equal [["shots/a.png\0", @bitmap.object_id, 9, 0xF8],
                  ["b.png\0", @bitmap.object_id, -1, 0]],
                 Win32API.calls_of('PngSaveA').map(&:args)
  end

  def test_save_png_filters_by_name_or_number
    { none: 0, sub: 1, up: 2, average: 3, paeth: 4, all: 0xF8 }.each do |name, number|
      @bitmap.save_png('a.png', 6, name)
      assert_equal number, Win32API.calls.last.args[3], name.to_s
    end
    @bitmap.save_png('a.png', 6, Vellora::PNG_FILTER_SUB | Vellora::PNG_FILTER_PAETH)
    assert_equal 0x90, Win32API.calls.last.args[3]
    assert_error_text('ArgumentError: unknown PNG filter :best (use :none, :sub, :up, :average, :paeth or :all)') do
      @bitmap.save_png('a.png', 6, :best)
    end
    assert_equal 7, Win32API.calls.size
  end

  def test_save_png_passes_the_path_as_utf8_bytes
    name = "\u753b\u50cf.png" # two CJK characters
    @bitmap.save_png(name.encode('Windows-31J'))
    @bitmap.save_png(name.b)
    utf8 = "#{name}\0".b
    Win32API.calls.each { |call| assert_equal utf8, call.args[0].b }
  end

  def test_save_png_refuses_paths_the_library_would_misread
    assert_error_text('ArgumentError: path must not contain a zero byte') { @bitmap.save_png("a.png\0.txt") }
    assert_error_text('TypeError: path must be a String, not NilClass') { @bitmap.save_png(nil) }
    assert_error_text('TypeError: path must be a String, not Symbol') { @bitmap.save_png(:name) }
    assert_empty Win32API.calls
  end

  def test_numbers_are_cut_to_integers_and_must_fit_32_bits
    @bitmap.blend_blt(2.9, -2.9, @other, Rect.new(0.5, 1, 2, 3))
    assert_equal [2, -2], Win32API.calls.last.args[1, 2]
    assert_equal 0, Win32API.calls.last.args[4]
    @bitmap.blur_box(2**31 - 1)
    @bitmap.blur_box(-2**31)
    assert_equal [2**31 - 1, -2**31], Win32API.calls_of('Blur').map { |c| c.args[1] }
    assert_raises(RangeError) { @bitmap.blur_box(2**31) }
    assert_raises(RangeError) { @bitmap.mosaic(1, 1, Rect.new(0, 0, -2**31 - 1, 1)) }
    assert_raises(TypeError) { @bitmap.resize_cleared(nil, 4) }
    assert_raises(TypeError) { @bitmap.change_tone('10', 0, 0) }
    assert_raises(TypeError) { @bitmap.mosaic(4, 4, [0, 0, 4, 4]) }
    assert_equal 3, Win32API.calls.size
  end

  def test_pixel_address_is_returned_as_an_unsigned_address
    Win32API.respond('GetAddress') { 0x0123_4560 }
    assert_equal 0x0123_4560, @bitmap.pixel_address
    # An address above 2 GiB comes back negative as a signed 32-bit number.
    Win32API.respond('GetAddress') { 0x9000_0000 - 2**32 }
    assert_equal 0x9000_0000, @bitmap.pixel_address
    assert_equal [[@bitmap.object_id]] * 2, Win32API.calls.map(&:args)
  end

  def test_game_window_is_the_handle_or_nil
    Win32API.respond('GetGameHWND') { 0x1_0042 }
    assert_equal 0x1_0042, Vellora.game_window
    Win32API.respond('GetGameHWND') { 0 }
    assert_nil Vellora.game_window
    Win32API.respond('Version') { 10_200 }
    assert_equal 10_200, Vellora.version
    assert_equal [[], [], []], Win32API.calls.map(&:args)
  end
end

class TestBridges < Minitest::Test
  include VelloraTestHelper

  # Every numeric argument of every Bitmap method, given a value: the export
  # that carries it, its position there, and what the library must receive.
  def each_numeric_argument(value)
    byte = value.clamp(0, 255)
    rect = ->(i) { Array.new(4) { |j| j == i ? value : 1 } }
    yield 'blend_blt x', -> { @bitmap.blend_blt(value, 0, @other) }, 'BlendBlt', 1, value
    yield 'blend_blt y', -> { @bitmap.blend_blt(0, value, @other) }, 'BlendBlt', 2, value
    4.times do |i|
      yield "blend_blt src_rect #{i}", -> { @bitmap.blend_blt(0, 0, @other, Rect.new(*rect[i])) },
            'BlendBlt', 4 + i, value
    end
    yield 'blend_blt opacity', -> { @bitmap.blend_blt(0, 0, @other, nil, :add, value) }, 'BlendBlt', 9, byte
    yield 'blur_box radius', -> { @bitmap.blur_box(value) }, 'Blur', 1, value
    yield 'mosaic block_width', -> { @bitmap.mosaic(value, 1) }, 'Mosaic', 5, value
    yield 'mosaic block_height', -> { @bitmap.mosaic(1, value) }, 'Mosaic', 6, value
    4.times do |i|
      yield "mosaic rect #{i}", -> { @bitmap.mosaic(2, 2, Rect.new(*rect[i])) }, 'Mosaic', 1 + i, value
    end
    yield 'change_tone red', -> { @bitmap.change_tone(value, 0, 0) }, 'ChangeTone', 1, value
    yield 'change_tone green', -> { @bitmap.change_tone(0, value, 0) }, 'ChangeTone', 2, value
    yield 'change_tone blue', -> { @bitmap.change_tone(0, 0, value) }, 'ChangeTone', 3, value
    yield 'change_tone skip', -> { @bitmap.change_tone(0, 0, 0, value) }, 'ChangeTone', 4, 1
    yield 'clip_mask offset_x', -> { @bitmap.clip_mask(@other, value) }, 'ClipMask', 2, value
    yield 'clip_mask offset_y', -> { @bitmap.clip_mask(@other, 0, value) }, 'ClipMask', 3, value
    yield 'clip_mask outside', -> { @bitmap.clip_mask(@other, 0, 0, value) }, 'ClipMask', 4, byte
    yield 'resize_cleared width', -> { @bitmap.resize_cleared(value, 1) }, 'ChangeSize', 1, value
    yield 'resize_cleared height', -> { @bitmap.resize_cleared(1, value) }, 'ChangeSize', 2, value
    yield 'save_png level', -> { @bitmap.save_png('a.png', value) }, 'PngSaveA', 2, value
    yield 'save_png filters', -> { @bitmap.save_png('a.png', -1, value) }, 'PngSaveA', 3, value
  end

  # -2**31 is a negative Bignum in a 32-bit Ruby 1.8, which its bridge
  # refuses as it stands; 2**30 is the first positive Bignum there.
  def test_every_numeric_argument_reaches_the_library_whole_through_both_bridges
    %i[ruby18 ruby19].each do |bridge|
      [-2**31, -2**30 - 1, 2**30, 2**31 - 1].each do |value|
        each_numeric_argument(value) do |what, run, export, position, received|
          Win32API.reset
          Win32API.bridge = bridge
          run.call
          call = Win32API.calls.last
          assert_equal [export, received], [call.name, call.args[position]], "#{bridge}: #{what} = #{value}"
        end
      end
    end
  end

end

class TestStatuses < Minitest::Test
  include VelloraTestHelper

  RESOLUTION_CODES = (-546_005..-546_000).to_a
  OTHER_CODES = [-100, -1, -2, -3, 1].freeze

  def test_every_method_raises_on_every_failure_status_and_returns_normally_on_0
    each_method do |export, run|
      (RESOLUTION_CODES + OTHER_CODES + [42]).each do |status|
        Win32API.respond(export) { status }
        error = assert_vellora_error(status, export) { run.call }
        assert error.message.start_with?("#{export} failed (#{status}): "), "#{export} #{status}: #{error.message}"
      end
      Win32API.respond(export) { 0 }
      run.call
    end
  end

  # Every status the library returns, in the words a game developer reads.
  MESSAGES = {
    -546_000 => "the bitmap's handle is 0",
    -546_001 => "the bitmap's handle does not name a Bitmap (a frozen or tainted Bitmap, " \
                'or one with a finalizer, does not count as one)',
    -546_002 => 'the bitmap has no pixels (is it disposed?)',
    -546_003 => 'the bitmap has no bitmap info header',
    -546_004 => "the bitmap's bitmap info header is invalid",
    -546_005 => "the bitmap's pixel buffer cannot be used: width * height * 4 is beyond " \
                '2147483647 bytes, or the buffer is not in memory the library may read (or write)',
    -100 => 'the data length differs from width * height * 4 bytes of the bitmap',
    -1 => 'the new width and height must be at least 1, and width * height * 4 at most ' \
          '2147483647 bytes',
    -2 => 'the process is out of memory or file descriptors; nothing was changed',
    -3 => 'no buffer was given',
    1 => 'the PNG file could not be opened or written',
    42 => 'unknown status'
  }.freeze

  def test_each_status_has_its_own_words
    MESSAGES.each do |status, words|
      Win32API.respond('Blur') { status }
      error = assert_vellora_error(status, 'Blur') { @bitmap.blur_box(1) }
      assert_equal "Blur failed (#{status}): #{words}", error.message, status
    end
    # The second bitmap's codes, 100 lower, name it.
    {
      ['BlendBlt', -546_100] => "BlendBlt failed (-546100): the source bitmap's handle is 0",
      ['BlendBlt', -546_002] => 'BlendBlt failed (-546002): the destination bitmap has no pixels (is it disposed?)',
      ['ClipMask', -546_104] => "ClipMask failed (-546104): the mask bitmap's bitmap info header is invalid",
      ['ClipMask', -546_003] => 'ClipMask failed (-546003): the bitmap has no bitmap info header'
    }.each do |(export, status), message|
      Win32API.respond(export) { status }
      run = export == 'BlendBlt' ? -> { @bitmap.blend_blt(0, 0, @other) } : -> { @bitmap.clip_mask(@other) }
      assert_equal message, assert_vellora_error(status, export) { run.call }.message
    end
  end

  # A resolution code names the bitmap it is about: the destination or the
  # source of blend_blt, the mask of clip_mask (the second bitmap's codes are
  # 100 lower), in the words of MESSAGES.
  def test_resolution_codes_name_the_bitmap_they_are_about
    run = { 'BlendBlt' => -> { @bitmap.blend_blt(0, 0, @other) }, 'ClipMask' => -> { @bitmap.clip_mask(@other) } }
    subjects = {
      ['BlendBlt', 0] => 'the destination bitmap', ['BlendBlt', 100] => 'the source bitmap',
      ['ClipMask', 0] => 'the bitmap', ['ClipMask', 100] => 'the mask bitmap'
    }
    RESOLUTION_CODES.each do |code|
      subjects.each do |(export, offset), subject|
        status = code - offset
        Win32API.respond(export) { status }
        error = assert_vellora_error(status, export) { run[export].call }
        assert_equal "#{export} failed (#{status}): #{MESSAGES[code].sub('the bitmap', subject)}", error.message
      end
    end
  end

  def test_statuses_handed_back_unsigned_are_read_as_signed
    Win32API.unsigned_results = true
    Win32API.respond('ClipMask') { -546_101 }
    error = assert_vellora_error(-546_101, 'ClipMask') { @bitmap.clip_mask(@other) }
    assert_match(/the mask bitmap's handle does not name a Bitmap/, error.message)
    Win32API.respond('GetAddress') { -546_003 }
    assert_vellora_error(-546_003, 'GetAddress') { @bitmap.pixel_address }
  end

  def test_pixel_address_raises_on_resolution_codes_only
    RESOLUTION_CODES.each do |code|
      Win32API.respond('GetAddress') { code }
      assert_vellora_error(code, 'GetAddress') { @bitmap.pixel_address }
    end
    [-545_999, -546_006].each do |neighbour|
      Win32API.respond('GetAddress') { neighbour }
      assert_equal neighbour + 2**32, @bitmap.pixel_address
    end
  end
end

class TestBitmapChecks < Minitest::Test
  include VelloraTestHelper

  # Each method checks cheaply first and only then in full; whichever way,
  # the first bad argument in the order below gives its own error.
  BAD_CALLS = {
    'TypeError: BlendBlt: the source bitmap must be a Bitmap, not Symbol' =>
      ->(b, _) { b.blend_blt(nil, 0, :sprite) },
    'TypeError: src_rect.width must be a number, not NilClass' =>
      ->(b, o) { b.blend_blt('x', 0, o, Rect.new(0, 0, nil, 1)) },
    'TypeError: src_rect must be a Rect, not FalseClass' => ->(b, o) { b.blend_blt(0, 0, o, false) },
    'RangeError: y (2147483648) is outside the 32-bit range' =>
      ->(b, o) { b.blend_blt(0, 2**31, o, nil, :darken, nil) },
    'ArgumentError: unknown blend mode :darken (use :normal, :add, :subtract, :multiply, ' \
    ':color_dodge, :color_burn, :screen, :overlay or 0..7)' =>
      ->(b, o) { b.blend_blt(0, 0, o, nil, :darken, nil) },
    'TypeError: opacity must be a number, not String' => ->(b, o) { b.blend_blt(0, 0, o, nil, 1, 'x') },
    'RangeError: rect.y (-2147483649) is outside the 32-bit range' =>
      ->(b, _) { b.mosaic(nil, 4, Rect.new(0, -2**31 - 1, 1, 1)) },
    'TypeError: block_height must be a number, not NilClass' => ->(b, _) { b.mosaic(4, nil) },
    'TypeError: green must be a number, not String' => ->(b, _) { b.change_tone(0, '10', 0) },
    'TypeError: ClipMask: the mask bitmap must be a Bitmap, not Integer' => ->(b, _) { b.clip_mask(5, 'x') },
    'RangeError: height (1099511627776) is outside the 32-bit range' =>
      ->(b, _) { b.resize_cleared(1, 2.0**40) },
    'TypeError: level must be a number, not NilClass' => ->(b, _) { b.save_png('a', nil, :best) }
  }.freeze

  def test_bad_arguments_get_their_own_error_before_any_call
    BAD_CALLS.each do |expected, call|
      error = assert_raises(StandardError) { call.call(@bitmap, @other) }
      assert_equal expected, "#{error.class}: #{error.message}"
    end
    assert_empty Win32API.calls
  end

  # A frozen Bitmap has another flags word, which the library refuses as no
  # Bitmap at all; the script names the cause.
  def test_a_frozen_bitmap_refused_by_the_library_is_named_as_frozen
    Win32API.respond('InvertColor') { Vellora::ERR_NOT_BITMAP }
    Win32API.respond('BlendBlt') { Vellora::ERR_NOT_BITMAP - 100 }
    error = assert_vellora_error(-546_001, 'InvertColor') { @bitmap.invert }
    assert_match(/handle does not name a Bitmap \(a frozen or tainted/, error.message)
    @bitmap.freeze
    error = assert_vellora_error(-546_001, 'InvertColor') { @bitmap.invert }
    assert_equal 'InvertColor failed (-546001): the bitmap is frozen: the library refuses a frozen Bitmap',
                 error.message
    @other.freeze
    error = assert_vellora_error(-546_101, 'BlendBlt') { Bitmap.new(2, 2).blend_blt(0, 0, @other) }
    assert_match(/the source bitmap is frozen/, error.message)
  end

  def test_a_source_or_mask_that_is_not_a_bitmap_is_refused_before_any_call
    # object_id of nil or of a small Integer names no host object at all.
    [nil, 5, :sprite, Rect.new(0, 0, 1, 1)].each do |thing|
      error = assert_raises(TypeError) { @bitmap.blend_blt(0, 0, thing, Rect.new(0, 0, 1, 1)) }
      assert_match(/source bitmap must be a Bitmap/, error.message)
      error = assert_raises(TypeError) { @bitmap.clip_mask(thing) }
      assert_match(/mask bitmap must be a Bitmap/, error.message)
    end
    assert_empty Win32API.calls
  end

  def test_a_disposed_bitmap_is_refused_before_any_call
    @bitmap.dispose
    each_method do |export, run|
      error = assert_vellora_error(Vellora::ERR_NO_BITMAP_RECORD, export) { run.call }
      assert_match(/disposed/, error.message)
    end
    assert_vellora_error(Vellora::ERR_NO_BITMAP_RECORD, 'GetAddress') { @bitmap.pixel_address }
    assert_empty Win32API.calls
  end

  def test_a_disposed_source_or_mask_gives_its_second_bitmap_code
    @other.dispose
    error = assert_vellora_error(-546_102, 'BlendBlt') { @bitmap.blend_blt(0, 0, @other, Rect.new(0, 0, 1, 1)) }
    assert_match(/source bitmap is disposed/, error.message)
    error = assert_vellora_error(-546_102, 'ClipMask') { @bitmap.clip_mask(@other) }
    assert_match(/mask bitmap is disposed/, error.message)
    assert_empty Win32API.calls
  end
end

class TestPixelData < Minitest::Test
  include VelloraTestHelper

  # A library that holds one bitmap's bytes and copies them as the real one
  # does: only when the length is exactly the data size.
  def hold_pixels(bitmap, bytes)
    store = bytes.b
    Win32API.respond('GetPixelData') do |handle, buffer, length|
      next Vellora::ERR_NOT_BITMAP unless handle == bitmap.object_id
      next Vellora::ERR_SIZE_MISMATCH unless length == store.bytesize && buffer.bytesize == length
      store.bytes.each_with_index { |byte, i| buffer.setbyte(i, byte) }
      0
    end
    Win32API.respond('SetPixelData') do |handle, buffer, length|
      next Vellora::ERR_NOT_BITMAP unless handle == bitmap.object_id
      next Vellora::ERR_SIZE_MISMATCH unless length == store.bytesize
      store = buffer.b[0, length]
      0
    end
  end

  def test_pixel_data_is_a_binary_string_of_width_height_4_bytes_from_the_library
    bitmap = Bitmap.new(5, 3)
    bytes = (0...60).map { |i| (i * 37 + 200) % 256 }.pack('C*')
    hold_pixels(bitmap, bytes)
    data = bitmap.pixel_data
    assert_equal bytes, data
    assert_equal Encoding::BINARY, data.encoding
    handle, buffer, length = only_call('GetPixelData')
    assert_equal [bitmap.object_id, 60, 60], [handle, buffer.bytesize, length]
  end

  def test_a_bitmap_without_pixels_transfers_nothing
    [Bitmap.new(0, 5), Bitmap.new(7, -1)].each do |bitmap|
      assert_equal '', bitmap.pixel_data
      assert_equal 0, Win32API.calls.last.args[2]
    end
  end

  def test_a_bitmap_too_large_for_32_bit_sizes_is_refused_before_any_buffer_is_made
    # 23171 * 23171 * 4 is just beyond 2**31 - 1.
    bitmap = Bitmap.new(23_171, 23_171)
    assert_vellora_error(Vellora::ERR_BAD_PIXEL_BUFFER, 'GetPixelData') { bitmap.pixel_data }
    assert_empty Win32API.calls
  end

  def test_pixel_data_assignment_passes_the_bytes_and_their_byte_length
    bitmap = Bitmap.new(2, 1)
    data = "\u00e9\u00e8\u00ea\u00eb" # 4 characters, 8 bytes in UTF-8
    hold_pixels(bitmap, "\0" * 8)
    assert_same data, (bitmap.pixel_data = data)
    assert_equal [bitmap.object_id, data, 8], only_call('SetPixelData')
    assert_equal data.b, bitmap.pixel_data
  end

  def test_pixel_data_round_trips_and_frozen_strings_are_accepted
    bitmap = Bitmap.new(3, 2)
    hold_pixels(bitmap, "\0" * 24)
    data = (1..24).to_a.pack('C*').freeze
    bitmap.pixel_data = data
    assert_equal data, bitmap.pixel_data
  end

  def test_data_of_the_wrong_length_raises_the_size_mismatch
    bitmap = Bitmap.new(3, 2)
    hold_pixels(bitmap, "\0" * 24)
    [23, 25, 0].each do |size|
      error = assert_vellora_error(-100, 'SetPixelData') { bitmap.pixel_data = "\1" * size }
      assert_match(/width \* height \* 4/, error.message)
    end
    assert_equal "\0" * 24, bitmap.pixel_data
    assert_raises(TypeError) { bitmap.pixel_data = nil }
    assert_raises(TypeError) { bitmap.pixel_data = [1, 2, 3] }
  end
end
