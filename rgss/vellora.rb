#==============================================================================
# ** vellora -- exact, fast Bitmap operations for RGSS (XP, VX, VX Ace)
#------------------------------------------------------------------------------
# Install: put vellora.dll next to the game's executable (Game.exe) and paste
# this script into the script editor, above Main.
#
# Adds to Bitmap: blend_blt, blur_box, mosaic, change_tone, invert, clip_mask,
# pixel_data, pixel_data=, resize_cleared, save_png, pixel_address; and
# Vellora.game_window, Vellora.version, Vellora.available?.
#
# Every method raises Vellora::Error when the library refuses the call; the
# error carries the library's status code (error.status) and what it means
# (error.meaning):
#
#   begin
#     bitmap.save_png('Screenshots/shot.png')
#   rescue Vellora::Error => e
#     p e.status, e.meaning
#   end
#
# Written for Ruby 1.8.1 (the oldest runtime) and later; keep it that way.
#==============================================================================

module Vellora
  DLL = 'vellora'

  # The library's version number as Version() returns it (1.2.0).
  VERSION = 10200

  #--------------------------------------------------------------------------
  # Status codes
  #--------------------------------------------------------------------------
  OK = 0
  ERR_NULL_HANDLE      = -546000 # the handle is 0
  ERR_NOT_BITMAP       = -546001 # the handle does not name a Bitmap
  ERR_NO_BITMAP_RECORD = -546002 # the Bitmap has no bitmap record (disposed)
  ERR_NO_INFO_HEADER   = -546003 # the bitmap record has no info header
  ERR_BAD_INFO_HEADER  = -546004 # the info header's size field is not 40
  # The pixel buffer cannot be used: width * height * 4 is beyond 2**31 - 1,
  # or the buffer is not mapped (writable, where the library writes it).
  ERR_BAD_PIXEL_BUFFER = -546005
  # A failure of the second bitmap (blend_blt's source, clip_mask's mask)
  # comes back as its code minus this offset: -546100 ... -546105.
  ERR_SECOND_BITMAP_OFFSET = 100
  ERR_SIZE_MISMATCH = -100 # data length is not width * height * 4
  ERR_BAD_SIZE      = -1   # new width or height not positive, or too large
  ERR_OUT_OF_MEMORY = -2   # out of memory or file descriptors, nothing changed
  ERR_NULL_BUFFER   = -3   # no buffer given
  PNG_SAVE_FAILED   = 1    # the PNG file could not be opened or written

  #--------------------------------------------------------------------------
  # Blend modes (blend_blt takes the symbol or the number)
  #--------------------------------------------------------------------------
  BLEND_NORMAL      = 0
  BLEND_ADD         = 1
  BLEND_SUBTRACT    = 2
  BLEND_MULTIPLY    = 3
  BLEND_COLOR_DODGE = 4
  BLEND_COLOR_BURN  = 5
  BLEND_SCREEN      = 6
  BLEND_OVERLAY     = 7
  # Index = mode number.
  BLEND_MODE_NAMES = [:normal, :add, :subtract, :multiply, :color_dodge,
                      :color_burn, :screen, :overlay]

  #--------------------------------------------------------------------------
  # PNG row filters (save_png's filters argument)
  #--------------------------------------------------------------------------
  # One filter for every row: 0 none, 1 sub, 2 up, 3 average, 4 paeth. Or a
  # set of these flags, from which the encoder picks one filter per row:
  PNG_FILTER_NONE  = 0x08
  PNG_FILTER_SUB   = 0x10
  PNG_FILTER_UP    = 0x20
  PNG_FILTER_AVG   = 0x40
  PNG_FILTER_PAETH = 0x80
  PNG_ALL_FILTERS  = 0xF8
  PNG_FILTER_NAMES = { :none => 0, :sub => 1, :up => 2, :average => 3,
                       :paeth => 4, :all => PNG_ALL_FILTERS }

  #--------------------------------------------------------------------------
  # The exports and their argument types ('i' 32-bit integer, 'p' pointer to
  # a String's bytes); every one returns a 32-bit integer.
  #--------------------------------------------------------------------------
  IMPORTS = {
    'BlendBlt'     => 'iiiiiiiiii',
    'Blur'         => 'ii',
    'Mosaic'       => 'iiiiiii',
    'ChangeTone'   => 'iiiii',
    'InvertColor'  => 'i',
    'ClipMask'     => 'iiiii',
    'GetPixelData' => 'ipi',
    'SetPixelData' => 'ipi',
    'ChangeSize'   => 'iii',
    'PngSaveA'     => 'piii',
    'PngSave'      => 'piii',
    'GetAddress'   => 'i',
    'GetGameHWND'  => '',
    'Version'      => ''
  }

  INT32_MIN = -2147483648
  INT32_MAX = 2147483647
  UINT32_RANGE = 4294967296

  # What each export calls its bitmaps, for the messages.
  FIRST_BITMAP = { 'BlendBlt' => 'the destination bitmap' }
  SECOND_BITMAP = { 'BlendBlt' => 'the source bitmap',
                    'ClipMask' => 'the mask bitmap' }

  #--------------------------------------------------------------------------
  # What the Bitmap methods check first. Every check costs a method call in
  # Ruby 1.8, half as much as a call through the bridge, so each method tries
  # the cheap checks that a well-formed call passes, and only when one fails
  # goes through the full checks below, which raise the error (or accept the
  # value, as a Float for a number). No message is built unless it is raised.
  #--------------------------------------------------------------------------

  # The Integers that every bridge takes as they are: -2**30 .. 2**30 - 1, a
  # Fixnum in the runtimes' 32-bit Rubies. In a Ruby whose Fixnums are wider
  # or that has one Integer class, a range check stands in for the class.
  if (2**30).class == 1.class
    SMALL_INTEGER = Object.new
    class << SMALL_INTEGER
      def ===(value)
        value.kind_of?(Integer) && value >= -0x40000000 && value < 0x40000000
      end
    end
  else
    SMALL_INTEGER = 1.class
  end

  # The runtime's Rect; anything else with x, y, width and height readers
  # is taken too, after a slower check.
  RECT_CLASS = defined?(::Rect) ? ::Rect : nil

  # A blend mode's number by its symbol or by itself.
  BLEND_MODE_NUMBERS = {}
  BLEND_MODE_NAMES.each_with_index do |name, number|
    BLEND_MODE_NUMBERS[name] = number
    BLEND_MODE_NUMBERS[number] = number
  end

  # Ruby 2.7 made taint a no-op (tainted? warns there) and 3.2 dropped it;
  # the runtimes' Rubies have it.
  TAINT = RUBY_VERSION < '2.7'
  # A binary String on every Ruby version: pack makes one.
  ZERO_BYTE = [0].pack('C')
  # pixel_data's buffers are made of this and parts of it: String#* copies
  # its receiver once per repetition, so a long one makes a String fast.
  ZERO_KILOBYTES = ZERO_BYTE * 4096
  # Ruby 1.9 and later count a String's bytes with bytesize; in Ruby 1.8
  # (1.8.1 has no bytesize) size counts bytes.
  BYTESIZE = ''.respond_to?(:bytesize)
  # Ruby 1.9 and later may hand save_png a path in another encoding.
  ENCODINGS = ''.respond_to?(:encoding)

  # The Win32API object of each export, made on first use (Vellora.api),
  # read by a method named after the export (BOUND.blend_blt for BlendBlt):
  # a reader costs Ruby 1.8 less than a Hash lookup.
  BINDING_NAMES = {}
  IMPORTS.each_key do |name|
    BINDING_NAMES[name] = name.gsub(/([a-z])([A-Z])/, '\1_\2').downcase
  end
  class Bindings
    BINDING_NAMES.each_value { |reader| attr_accessor reader }
  end
  BOUND = Bindings.new

  #--------------------------------------------------------------------------
  # * Error: a call the library refused. status is the library's code (nil
  #   when the library itself could not be loaded), meaning says what it
  #   means, export names the function that was called.
  #--------------------------------------------------------------------------
  class Error < StandardError
    attr_reader :export, :status, :meaning

    def initialize(export, status, meaning = nil)
      @export = export
      @status = status
      @meaning = meaning || Vellora.meaning(status, export)
      if status
        super("#{export} failed (#{status}): #{@meaning}")
      else
        super("#{export}: #{@meaning}")
      end
    end
  end

  #--------------------------------------------------------------------------
  # * What a status code means, as a sentence fragment. export decides how
  #   the bitmaps are named ("the source bitmap's handle is 0").
  #--------------------------------------------------------------------------
  def self.meaning(status, export = nil)
    subject = FIRST_BITMAP[export] || 'the bitmap'
    code = status
    second_low = ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET
    second_high = ERR_NULL_HANDLE - ERR_SECOND_BITMAP_OFFSET
    if status.kind_of?(Integer) && status >= second_low && status <= second_high
      subject = SECOND_BITMAP[export] || 'the second bitmap'
      code = status + ERR_SECOND_BITMAP_OFFSET
    end
    case code
    when ERR_NULL_HANDLE then "#{subject}'s handle is 0"
    when ERR_NOT_BITMAP
      # A Bitmap's object is told by its flags word, which freezing,
      # tainting or a finalizer (ObjectSpace.define_finalizer) changes.
      "#{subject}'s handle does not name a Bitmap (a frozen or tainted " +
        'Bitmap, or one with a finalizer, does not count as one)'
    when ERR_NO_BITMAP_RECORD then "#{subject} has no pixels (is it disposed?)"
    when ERR_NO_INFO_HEADER then "#{subject} has no bitmap info header"
    when ERR_BAD_INFO_HEADER then "#{subject}'s bitmap info header is invalid"
    when ERR_BAD_PIXEL_BUFFER
      "#{subject}'s pixel buffer cannot be used: width * height * 4 is " +
        'beyond 2147483647 bytes, or the buffer is not in memory the ' +
        'library may read (or write)'
    when ERR_SIZE_MISMATCH
      'the data length differs from width * height * 4 bytes of the bitmap'
    when ERR_BAD_SIZE
      'the new width and height must be at least 1, and width * height * 4 ' +
        'at most 2147483647 bytes'
    when ERR_OUT_OF_MEMORY
      # Also when the library could not ask the system about the bitmap's
      # memory: a want of the process, not a fault of the bitmap.
      'the process is out of memory or file descriptors; nothing was changed'
    when ERR_NULL_BUFFER then 'no buffer was given'
    when PNG_SAVE_FAILED then 'the PNG file could not be opened or written'
    else 'unknown status'
    end
  end

  #--------------------------------------------------------------------------
  # * The Win32API object of an export, made on first use, so that a game
  #   without vellora.dll starts and fails only when it calls into it.
  #--------------------------------------------------------------------------
  def self.api(name)
    types = IMPORTS[name]
    raise ArgumentError, "vellora has no export #{name}" unless types
    reader = BINDING_NAMES[name]
    api = BOUND.__send__(reader)
    return api if api
    begin
      api = Win32API.new(DLL, name, types, 'i')
    rescue StandardError, LoadError => e
      raise Error.new(name, nil, "vellora.dll could not be loaded, or has " +
                      "no #{name} (put vellora.dll next to Game.exe): " +
                      e.message)
    end
    BOUND.__send__(reader + '=', api)
  end

  # Calls an export and returns its result as a signed 32-bit number,
  # whichever way the bridge hands it back. The arguments must be what the
  # bridge takes (Vellora.int32 makes them so).
  def self.call(name, *args)
    signed32(api(name).call(*args))
  end

  # Raises the Error for a status other than OK. bitmap and second are the
  # bitmaps the call named: a frozen or tainted Bitmap has another flags
  # word, which the library cannot tell from any other object's, so when it
  # did not take one for a Bitmap the error says why where Ruby can tell.
  def self.refused(export, status, bitmap, second = nil)
    status = signed32(status)
    if status == ERR_NOT_BITMAP
      cause = refusal_cause(bitmap)
      subject = FIRST_BITMAP[export] || 'the bitmap'
    elsif second && status == ERR_NOT_BITMAP - ERR_SECOND_BITMAP_OFFSET
      cause = refusal_cause(second)
      subject = SECOND_BITMAP[export]
    end
    if cause
      raise Error.new(export, status, "#{subject} is #{cause}: the library " +
                      "refuses a #{cause} Bitmap")
    end
    raise Error.new(export, status)
  end

  def self.refusal_cause(bitmap)
    return 'frozen' if bitmap.frozen?
    return 'tainted' if TAINT && bitmap.tainted?
    nil
  end

  #--------------------------------------------------------------------------
  # * The full checks on the way in. A handle that names no live Bitmap
  #   would make the library read whatever memory lies at handle * 2, so
  #   only a Bitmap that is not disposed is ever turned into a handle.
  #--------------------------------------------------------------------------
  def self.check_bitmap(bitmap, export, second = false)
    subject = second ? SECOND_BITMAP[export] : FIRST_BITMAP[export]
    subject ||= 'the bitmap'
    unless bitmap.kind_of?(Bitmap)
      raise TypeError, "#{export}: #{subject} must be a Bitmap, not " +
                       bitmap.class.to_s
    end
    if bitmap.disposed?
      status = ERR_NO_BITMAP_RECORD
      status -= ERR_SECOND_BITMAP_OFFSET if second
      raise Error.new(export, status, "#{subject} is disposed")
    end
  end

  # A number as a 32-bit integer; fractions are cut toward zero as the
  # runtime's own methods do.
  def self.integer(value, what)
    unless value.kind_of?(Numeric)
      raise TypeError, "#{what} must be a number, not #{value.class}"
    end
    value = value.to_i
    if value < INT32_MIN || value > INT32_MAX
      raise RangeError, "#{what} (#{value}) is outside the 32-bit range"
    end
    value
  end

  # A number as the bridge takes it. A 32-bit number beyond -2**30 ..
  # 2**30 - 1 is a Bignum in Ruby 1.8, whose Win32API (NUM2ULONG) refuses
  # -2**31: a negative one goes as value + 2**32, the same 32 bits for the
  # library. (Bignum#& would do the same, but in Ruby 1.8.1 it let the
  # collector take its operands.)
  def self.int32(value, what)
    value = integer(value, what)
    value < -0x40000000 ? value + UINT32_RANGE : value
  end

  # An opacity or mask value, limited to 0..255 as the runtime limits
  # opacities.
  def self.byte(value, what)
    value = integer(value, what)
    return 0 if value < 0
    return 255 if value > 255
    value
  end

  def self.signed32(value)
    value >= 0x80000000 ? value - UINT32_RANGE : value
  end

  # GetAddress's result as an unsigned address, or the Error for the
  # resolution code the library returns in its place: no pixel buffer lies
  # at those addresses near the top of the 32-bit space.
  def self.address(result, bitmap)
    result = signed32(result)
    if result >= ERR_BAD_PIXEL_BUFFER && result <= ERR_NULL_HANDLE
      refused('GetAddress', result, bitmap)
    end
    result < 0 ? result + UINT32_RANGE : result
  end

  # [x, y, width, height] of a Rect (or anything with those four readers).
  def self.rect_values(rect, what)
    unless rect.respond_to?(:x) && rect.respond_to?(:y) &&
           rect.respond_to?(:width) && rect.respond_to?(:height)
      raise TypeError, "#{what} must be a Rect, not #{rect.class}"
    end
    [int32(rect.x, "#{what}.x"), int32(rect.y, "#{what}.y"),
     int32(rect.width, "#{what}.width"), int32(rect.height, "#{what}.height")]
  end

  # A blend mode as its number: a symbol of BLEND_MODE_NAMES (or its name as
  # a String) or 0..7. Other numbers would blend nothing without a word, so
  # they are refused.
  def self.blend_mode(mode)
    mode = mode.intern if mode.kind_of?(String)
    if mode.kind_of?(Symbol)
      number = BLEND_MODE_NAMES.index(mode)
      return number if number
      names = BLEND_MODE_NAMES.map { |name| ':' + name.to_s }.join(', ')
      raise ArgumentError, "unknown blend mode :#{mode} (use #{names} or 0..7)"
    end
    unless mode.kind_of?(Integer)
      raise TypeError, "blend mode must be a Symbol or 0..7, not #{mode.class}"
    end
    unless mode >= 0 && mode < BLEND_MODE_NAMES.size
      raise ArgumentError, "unknown blend mode #{mode} (use 0..7)"
    end
    mode
  end

  # A PNG filter selection: a symbol of PNG_FILTER_NAMES or an integer
  # (0..4 one filter type, or PNG_FILTER_* flags combined with |).
  def self.png_filters(filters)
    if filters.kind_of?(Symbol)
      value = PNG_FILTER_NAMES[filters]
      return value if value
      raise ArgumentError, "unknown PNG filter :#{filters} (use :none, " +
                           ':sub, :up, :average, :paeth or :all)'
    end
    int32(filters, 'filters')
  end

  # The path as the library reads it: UTF-8 bytes ending in a zero byte.
  def self.c_path(path)
    unless path.kind_of?(String)
      raise TypeError, "path must be a String, not #{path.class}"
    end
    # Ruby 1.9+: a path in another encoding (Dir.glob's, for example) is
    # converted; a binary String is taken to hold UTF-8 already.
    path = path.encode('UTF-8') if path.respond_to?(:encoding) && path.encoding.name != 'ASCII-8BIT'
    # The library reads up to the first zero byte: a path that holds one
    # would name another file.
    raise ArgumentError, 'path must not contain a zero byte' if path.index(ZERO_BYTE)
    path + ZERO_BYTE
  end

  # width * height * 4 of a bitmap, the length of its raw pixel data. A
  # bitmap too large for the library's 32-bit sizes is refused with the code
  # the library gives it, before a String of that size is made.
  def self.data_size(bitmap, export)
    width = bitmap.width
    height = bitmap.height
    return 0 if width <= 0 || height <= 0
    size = width * height * 4
    raise Error.new(export, ERR_BAD_PIXEL_BUFFER) if size > INT32_MAX
    size
  end

  #--------------------------------------------------------------------------
  # * The game's main window handle (an Integer), or nil when there is none.
  #     hwnd = Vellora.game_window
  #--------------------------------------------------------------------------
  def self.game_window
    hwnd = call('GetGameHWND')
    hwnd += UINT32_RANGE if hwnd < 0
    hwnd == 0 ? nil : hwnd
  end

  #--------------------------------------------------------------------------
  # * The loaded library's version number (10200 for 1.2.0).
  #     print 'old vellora.dll' if Vellora.version < Vellora::VERSION
  #--------------------------------------------------------------------------
  def self.version
    call('Version')
  end

  #--------------------------------------------------------------------------
  # * true when vellora.dll can be loaded; false instead of an error.
  #     sprite.bitmap.blur_box(2) if Vellora.available?
  #--------------------------------------------------------------------------
  def self.available?
    api('Version')
    true
  rescue Error
    false
  end

  # Bitmap's methods are written inside Vellora, so that they name its
  # constants without the prefix, a constant lookup fewer per use.
  class ::Bitmap
    #------------------------------------------------------------------------
    # * Blends src_rect of src_bitmap onto this bitmap with its top-left
    #   corner at (x, y), in a blend mode (:normal, :add, :subtract,
    #   :multiply, :color_dodge, :color_burn, :screen, :overlay, or 0..7).
    #   opacity (0..255) weighs the source in :normal, :add and :subtract;
    #   the other modes ignore it and leave the area opaque. src_rect nil
    #   means the whole source. What lies outside either bitmap is skipped.
    #     bitmap.blend_blt(10, 20, light, light.rect, :add, 128)
    #     bitmap.blend_blt(0, 0, shade, nil, :multiply)
    #------------------------------------------------------------------------
    def blend_blt(x, y, src_bitmap, src_rect = nil, mode = :normal, opacity = 255)
      small = SMALL_INTEGER # a local is read faster than a constant
      if disposed? || !(Bitmap === src_bitmap) || src_bitmap.disposed?
        Vellora.check_bitmap(self, 'BlendBlt')
        Vellora.check_bitmap(src_bitmap, 'BlendBlt', true)
      end
      # area_width stays nil, for the full checks, unless x and y pass.
      if RECT_CLASS === src_rect && small === (src_x = src_rect.x) && small === (src_y = src_rect.y)
        area_width = src_rect.width
        area_height = src_rect.height
      elsif src_rect.nil?
        # What src_bitmap.rect holds, without making the Rect.
        src_x = src_y = 0
        area_width = src_bitmap.width
        area_height = src_bitmap.height
      end
      mode_number = BLEND_MODE_NUMBERS[mode]
      unless area_width && small === area_width && small === area_height &&
             small === x && small === y && mode_number &&
             small === opacity && opacity >= 0 && opacity <= 255
        src_rect = src_bitmap.rect if src_rect.nil?
        src_x, src_y, area_width, area_height = Vellora.rect_values(src_rect, 'src_rect')
        x = Vellora.int32(x, 'x')
        y = Vellora.int32(y, 'y')
        mode_number = Vellora.blend_mode(mode)
        opacity = Vellora.byte(opacity, 'opacity')
      end
      status = (BOUND.blend_blt || Vellora.api('BlendBlt')).call(
        object_id, x, y, src_bitmap.object_id, src_x, src_y, area_width,
        area_height, mode_number, opacity)
      Vellora.refused('BlendBlt', status, self, src_bitmap) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * Box blur of the whole bitmap: each pixel becomes the mean of the
    #   square of side 2 * radius + 1 around it, colors weighted by alpha. A
    #   radius of 0 or less does nothing; above 1000 acts as 1000.
    #     bitmap.blur_box(3)
    #------------------------------------------------------------------------
    def blur_box(radius)
      unless SMALL_INTEGER === radius && !disposed?
        Vellora.check_bitmap(self, 'Blur')
        radius = Vellora.int32(radius, 'radius')
      end
      status = (BOUND.blur || Vellora.api('Blur')).call(object_id, radius)
      Vellora.refused('Blur', status, self) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * Mosaic: every block_width x block_height block of rect (the whole
    #   bitmap when nil) takes its alpha-weighted mean color. Block sizes
    #   below 1 act as 1.
    #     bitmap.mosaic(8, 8)
    #     bitmap.mosaic(4, 4, Rect.new(0, 0, 64, 32))
    #------------------------------------------------------------------------
    def mosaic(block_width, block_height, rect = nil)
      small = SMALL_INTEGER # a local is read faster than a constant
      Vellora.check_bitmap(self, 'Mosaic') if disposed?
      if rect.nil?
        # What self.rect holds, without making the Rect.
        x = y = 0
        area_width = width
        area_height = height
      elsif RECT_CLASS === rect && small === (x = rect.x) && small === (y = rect.y)
        # (area_width stays nil, for the full checks, unless x and y pass)
        area_width = rect.width
        area_height = rect.height
      end
      unless area_width && small === area_width && small === area_height &&
             small === block_width && small === block_height
        rect = self.rect if rect.nil?
        x, y, area_width, area_height = Vellora.rect_values(rect, 'rect')
        block_width = Vellora.int32(block_width, 'block_width')
        block_height = Vellora.int32(block_height, 'block_height')
      end
      status = (BOUND.mosaic || Vellora.api('Mosaic')).call(
        object_id, x, y, area_width, area_height, block_width, block_height)
      Vellora.refused('Mosaic', status, self) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * Moves each color channel toward white (positive amount) or black
    #   (negative), on a scale of -256..256 (256 makes the channel 255, -256
    #   makes it 0). With skip_transparent true, pixels of alpha 0 are left
    #   alone. Alpha never changes.
    #     bitmap.change_tone(64, 0, -64)          # warmer
    #     bitmap.change_tone(-128, -128, -128, true)
    #------------------------------------------------------------------------
    def change_tone(red, green, blue, skip_transparent = false)
      small = SMALL_INTEGER # a local is read faster than a constant
      # 0 counts as false here, as it does for the library.
      skip = (skip_transparent && skip_transparent != 0) ? 1 : 0
      unless small === red && small === green && small === blue &&
             !disposed?
        Vellora.check_bitmap(self, 'ChangeTone')
        red = Vellora.int32(red, 'red')
        green = Vellora.int32(green, 'green')
        blue = Vellora.int32(blue, 'blue')
      end
      status = (BOUND.change_tone || Vellora.api('ChangeTone')).call(
        object_id, red, green, blue, skip)
      Vellora.refused('ChangeTone', status, self) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * Inverts every color byte (255 - value); alpha is kept.
    #     bitmap.invert
    #------------------------------------------------------------------------
    def invert
      Vellora.check_bitmap(self, 'InvertColor') if disposed?
      status = (BOUND.invert_color || Vellora.api('InvertColor')).call(object_id)
      Vellora.refused('InvertColor', status, self) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * Scales each pixel's alpha by the mask bitmap laid over this one with
    #   its top-left corner at (offset_x, offset_y): a mask pixel's blue byte
    #   255 keeps the alpha, 0 clears it (so a grayscale mask works by
    #   brightness). Pixels the mask does not cover are scaled by outside
    #   (0..255): 0 makes them transparent, 255 keeps them.
    #     bitmap.clip_mask(circle_mask)
    #     bitmap.clip_mask(mask, 16, 8, 255)
    #------------------------------------------------------------------------
    def clip_mask(mask, offset_x = 0, offset_y = 0, outside = 0)
      small = SMALL_INTEGER # a local is read faster than a constant
      unless small === offset_x && small === offset_y &&
             small === outside && outside >= 0 && outside <= 255 &&
             !disposed? && Bitmap === mask && !mask.disposed?
        Vellora.check_bitmap(self, 'ClipMask')
        Vellora.check_bitmap(mask, 'ClipMask', true)
        offset_x = Vellora.int32(offset_x, 'offset_x')
        offset_y = Vellora.int32(offset_y, 'offset_y')
        outside = Vellora.byte(outside, 'outside')
      end
      status = (BOUND.clip_mask || Vellora.api('ClipMask')).call(
        object_id, mask.object_id, offset_x, offset_y, outside)
      Vellora.refused('ClipMask', status, self, mask) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * The raw pixels: a String of width * height * 4 bytes, B, G, R, A per
    #   pixel, bottom row first.
    #     data = bitmap.pixel_data
    #     blue, green, red, alpha = data[0, 4].unpack('C4') # bottom-left pixel
    #------------------------------------------------------------------------
    def pixel_data
      Vellora.check_bitmap(self, 'GetPixelData') if disposed?
      size = width * height * 4
      size = Vellora.data_size(self, 'GetPixelData') unless SMALL_INTEGER === size && size > 0
      # Copies of ZERO_KILOBYTES or of a part of it (String#* makes a String
      # of its own, so the library never writes into the constant).
      if size <= 4096
        buffer = ZERO_KILOBYTES[0, size] * 1
      else
        buffer = ZERO_KILOBYTES * (size >> 12) << ZERO_KILOBYTES[0, size & 4095]
      end
      status = (BOUND.get_pixel_data || Vellora.api('GetPixelData')).call(object_id, buffer, size)
      Vellora.refused('GetPixelData', status, self) unless status == 0
      buffer
    end

    #------------------------------------------------------------------------
    # * Replaces the raw pixels with data, a String laid out as pixel_data
    #   gives it (exactly width * height * 4 bytes).
    #     saved = bitmap.pixel_data
    #     ...
    #     bitmap.pixel_data = saved
    #------------------------------------------------------------------------
    def pixel_data=(data)
      Vellora.check_bitmap(self, 'SetPixelData') if disposed?
      unless String === data
        raise TypeError, "pixel data must be a String, not #{data.class}"
      end
      # The bridge may refuse to pass a frozen String; the library only reads.
      buffer = data.frozen? ? data.dup : data
      status = (BOUND.set_pixel_data || Vellora.api('SetPixelData')).call(
        object_id, buffer, BYTESIZE ? buffer.bytesize : buffer.size)
      Vellora.refused('SetPixelData', status, self) unless status == 0
      data
    end

    #------------------------------------------------------------------------
    # * Gives the bitmap a new size; every pixel becomes transparent black
    #   (the old pixels are not kept).
    #     canvas.resize_cleared(320, 240)
    #------------------------------------------------------------------------
    def resize_cleared(width, height)
      unless SMALL_INTEGER === width && SMALL_INTEGER === height &&
             !disposed?
        Vellora.check_bitmap(self, 'ChangeSize')
        width = Vellora.int32(width, 'width')
        height = Vellora.int32(height, 'height')
      end
      status = (BOUND.change_size || Vellora.api('ChangeSize')).call(object_id, width, height)
      Vellora.refused('ChangeSize', status, self) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * Saves the bitmap as an 8-bit RGBA PNG file (the path is UTF-8; an
    #   existing file is replaced). level: -1 default, 0 no compression, 1
    #   fastest .. 9 smallest; other values act as -1. filters: :none, :sub,
    #   :up, :average, :paeth, :all (the encoder picks per row), or an
    #   integer (Vellora::PNG_FILTER_* flags).
    #     bitmap.save_png('Screenshots/shot.png')
    #     bitmap.save_png('map.png', 9, :all)
    #------------------------------------------------------------------------
    def save_png(path, level = -1, filters = 0)
      Vellora.check_bitmap(self, 'PngSaveA') if disposed?
      # Ruby 1.8 has no encodings to convert.
      if String === path && !ENCODINGS && !path.index(ZERO_BYTE)
        path += ZERO_BYTE
      else
        path = Vellora.c_path(path)
      end
      level = Vellora.int32(level, 'level') unless SMALL_INTEGER === level
      filters = Vellora.png_filters(filters) unless SMALL_INTEGER === filters
      status = (BOUND.png_save_a || Vellora.api('PngSaveA')).call(path, object_id, level, filters)
      Vellora.refused('PngSaveA', status, self) unless status == 0
      self
    end

    #------------------------------------------------------------------------
    # * The address of the pixel buffer (its first byte is the bottom-left
    #   pixel's blue byte), for other native code. Valid until the bitmap is
    #   disposed or resized.
    #     address = bitmap.pixel_address
    #------------------------------------------------------------------------
    def pixel_address
      Vellora.check_bitmap(self, 'GetAddress') if disposed?
      result = (BOUND.get_address || Vellora.api('GetAddress')).call(object_id)
      return result if SMALL_INTEGER === result && result >= 0
      Vellora.address(result, self)
    end
  end
end
