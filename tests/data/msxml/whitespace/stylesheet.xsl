<?xml version="1.0"?>
<!-- White space of the style sheet itself: literal layout goes, white space written as a
     character reference or in a CDATA section is output (the original platform's way);
     xsl:text and xml:space="preserve" keep theirs in both modes. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:for-each select="points/p">
      <xsl:value-of select="."/>   <xsl:value-of select="'|'"/>&#9;<xsl:value-of select="'tab'"/>
      <xsl:text> </xsl:text><xsl:value-of select="'space'"/><![CDATA[ ]]><xsl:value-of select="'cdata'"/>
      <line xml:space="preserve"> </line><xsl:value-of select="'end'"/>&#13;&#10;</xsl:for-each>
  </xsl:template>
</xsl:stylesheet>
